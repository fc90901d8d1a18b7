#include "service/ServiceHost.h"

#include "operation/ErrorReporter.h"
#include "platform/ServiceControl.h"

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
    return answer;
}

std::optional<std::string> ServiceHost::showFileDialog(const FileDialog&) {
    return std::nullopt;
}

void ServiceHost::setStatus(int, std::string_view) {}

void ServiceHost::pumpEvents() {
    control_.DispatchPendingEvents();
}

void ServiceHost::setClipboard(std::string_view) {}

} // namespace qm
