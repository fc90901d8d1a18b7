#include "support/ScriptedHost.h"

#include <gtest/gtest.h>

namespace qm::test {

Answer ScriptedHost::showMessage(const MessageBox& box) {
    boxes.push_back(box);
    if (box.buttons == Buttons::Ok)
        return Answer::Ok;
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question \"" << box.title << "\": " << box.text;
        return box.buttons == Buttons::YesNoCancel ? Answer::Cancel : Answer::No;
    }
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

std::optional<std::string> ScriptedHost::showFileDialog(const FileDialog& dialog) {
    dialogs.push_back(dialog);
    if (dialogAnswers.empty()) {
        ADD_FAILURE() << "unexpected file dialog starting at " << dialog.startName;
        return std::nullopt;
    }
    auto answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer;
}

void ScriptedHost::setStatus(int panel, std::string_view text) {
    if (panel >= 1 && panel <= 2)
        status[panel] = std::string(text);
    if (panel == 2 && recordStatus2History)
        status2History.emplace_back(text);
}

} // namespace qm::test
