#pragma once

#include "platform/SystemLog.h"

namespace qm {

// Debugger output and event log entries go to syslog under the identity "quillmarch": the
// debugger output at priority debug, events at err, warning or info by type, their text
// starting with the event identifier in brackets ("[109] ...").
class SyslogSystemLog : public SystemLog {
public:
    SyslogSystemLog();
    ~SyslogSystemLog() override;
    SyslogSystemLog(const SyslogSystemLog&) = delete;
    SyslogSystemLog& operator=(const SyslogSystemLog&) = delete;

    void debugOutput(std::string_view text) override;
    void logEvent(EventType type, int eventId, std::string_view text) override;
};

// The syslog priority of an event type.
int SyslogPriority(EventType type);

} // namespace qm
