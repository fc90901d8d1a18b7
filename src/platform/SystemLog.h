#pragma once

#include <string_view>

namespace qm {

enum class EventType { Error = 1, Warning = 2, Information = 4 };

// The debugger output and the event log of the machine.
class SystemLog {
public:
    virtual ~SystemLog() = default;
    virtual void debugOutput(std::string_view text) = 0;
    virtual void logEvent(EventType type, int eventId, std::string_view text) = 0;
};

} // namespace qm
