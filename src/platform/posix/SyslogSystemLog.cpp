#include "platform/posix/SyslogSystemLog.h"

#include <string>
#include <syslog.h>

namespace qm {

namespace {

void Send(int priority, std::string_view text) {
    // Precision-bounded, so the text needs no terminator and a "%" in it is printed as is.
    syslog(priority, "%.*s", static_cast<int>(text.size()), text.data());
}

} // namespace

int SyslogPriority(EventType type) {
    switch (type) {
    case EventType::Error:
        return LOG_ERR;
    case EventType::Warning:
        return LOG_WARNING;
    case EventType::Information:
        return LOG_INFO;
    }
    return LOG_NOTICE;
}

SyslogSystemLog::SyslogSystemLog() {
    openlog("quillmarch", LOG_PID, LOG_USER);
}

SyslogSystemLog::~SyslogSystemLog() {
    closelog();
}

void SyslogSystemLog::debugOutput(std::string_view text) {
    Send(LOG_DEBUG, text);
}

void SyslogSystemLog::logEvent(EventType type, int eventId, std::string_view text) {
    std::string entry = "[" + std::to_string(eventId) + "] ";
    entry += text;
    Send(SyslogPriority(type), entry);
}

} // namespace qm
