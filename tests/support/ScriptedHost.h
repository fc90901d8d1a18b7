#pragma once

#include "platform/Host.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {

// Stands in for the person at the screen: records every box, answers questions from a queue
// and file dialogs from another. A question with nothing queued fails the test.
class ScriptedHost : public Host {
public:
    Answer showMessage(const MessageBox& box) override;
    std::optional<std::string> showFileDialog(const FileDialog& dialog) override;
    void setStatus(int panel, std::string_view text) override;
    void pumpEvents() override { ++pumps; }
    void setClipboard(std::string_view text) override { clipboard = std::string(text); }

    std::deque<Answer> answers;
    std::deque<std::optional<std::string>> dialogAnswers;

    std::vector<MessageBox> boxes;
    std::vector<FileDialog> dialogs;
    std::string status[3];
    std::vector<std::string> status2History;
    bool recordStatus2History = false;
    long pumps = 0;
    std::string clipboard;
};

} // namespace qm::test
