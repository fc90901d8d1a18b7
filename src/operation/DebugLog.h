#pragma once

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/SystemLog.h"

#include <functional>
#include <string>
#include <string_view>

namespace qm {

// The line "YYYY-MM-DD HH:MM:SS - message" without its line end.
std::string FormatLogLine(const LocalTime& time, std::string_view message);

// The debug log: one time-stamped line per call while debug mode is on, appended to the log
// file, which is opened and closed for every line so it can be read or moved at any time.
class DebugLog {
public:
    // `debugMode` answers, at the moment of each line, whether debug mode is on.
    DebugLog(std::function<bool()> debugMode, FileSystem& files, SystemLog& systemLog, Clock& clock,
             std::string logPath);

    // Does nothing while debug mode is off. A file that cannot be written raises, and the
    // failure belongs to the operation that wrote the line.
    void WriteLog(std::string_view message);

    // Whether debug mode is on now, for a caller whose line costs work to make.
    bool enabled() const { return debugMode_(); }

    const std::string& path() const { return logPath_; }

private:
    std::function<bool()> debugMode_;
    FileSystem& files_;
    SystemLog& systemLog_;
    Clock& clock_;
    std::string logPath_;
};

} // namespace qm
