#pragma once

#include "platform/FileSystem.h"
#include "platform/FileTools.h"
#include "platform/Host.h"
#include "settings/JobSettings.h"
#include "startup/DebugLog.h"
#include "startup/ErrorReporter.h"
#include "startup/ProcessState.h"

namespace qm {

// What an operation of the core works with: the machine's interfaces, the current job and
// the process-wide state. Built once by start-up (or a test) and handed in.
struct Context {
    FileSystem& files;
    FileTools& tools;
    Host& host;
    JobSettings& job;
    ProcessState& process;
    DebugLog& log;
    ErrorReporter& reporter;
};

} // namespace qm
