#include "operation/DebugLog.h"

#include <cstdio>

namespace qm {

std::string FormatLogLine(const LocalTime& t, std::string_view message) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d - ", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    std::string line = stamp;
    line += message;
    return line;
}

DebugLog::DebugLog(std::function<bool()> debugMode, FileSystem& files, SystemLog& systemLog,
                   Clock& clock, std::string logPath)
    : debugMode_(std::move(debugMode)), files_(files), systemLog_(systemLog), clock_(clock),
      logPath_(std::move(logPath)) {}

void DebugLog::WriteLog(std::string_view message) {
    if (!debugMode_())
        return;
    std::string debugText = " ";
    debugText += message;
    systemLog_.debugOutput(debugText);

    auto file = files_.openForAppend(logPath_);
    file->writeLine(FormatLogLine(clock_.now(), message));
    file->flush();
    file->close();
}

} // namespace qm
