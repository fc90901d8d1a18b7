#include "service/ServiceHost.h"

#include "operation/ErrorReporter.h"
#include "platform/ServiceControl.h"

#include <ostream>

namespace qm {

Answer ServiceHost::showMessage(const MessageBox& box) {
    const Answer answer = UnattendedAnswer(box.buttons);
    std::string entry = box.title + ": " + box.text;
    EventType type = EventType::Information;
    if (box.buttons != Buttons::Ok) {
        entry += "\n\nNot asked (running as the service): ";
        entry += AnswerName(answer);
        type = EventType::Warning;
    } else if (box.icon == Icon::Exclamation) {
        type = EventType::Warning;
    }
    // The event log is the only place this box can reach; losing it must not end the run.
    AttemptIgnoringFailure([&] { control_.LogEvent(type, ErrorEventId, entry); });
    if (echo_)
        AttemptIgnoringFailure([&] { *echo_ << entry << '\n' << std::flush; });
    return answer;
}

std::optional<std::string> ServiceHost::showFileDialog(const FileDialog&) {
    return std::nullopt;
}

void ServiceHost::setStatus(int panel, std::string_view text) {
    // The conversion names the index file in panel 1 as it starts and clears it at its end,
    // and shows each document's image in panel 2.
    if (panel == 1) {
        file_.assign(text);
        documents_ = 0;
        if (!file_.empty())
            reportProgress();
    } else if (panel == 2 && !text.empty() && !file_.empty()) {
        ++documents_;
        if (now_() - lastStatus_ >= StatusInterval)
            reportProgress();
    }
}

void ServiceHost::reportProgress() {
    lastStatus_ = now_();
    control_.ReportStatus("Converting " + file_ + ": " + std::to_string(documents_) +
                          (documents_ == 1 ? " document" : " documents") + " so far");
}

void ServiceHost::pumpEvents() {
    control_.DispatchPendingEvents();
}

void ServiceHost::setClipboard(std::string_view) {}

} // namespace qm
