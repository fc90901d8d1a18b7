#pragma once

#include "operation/ConversionRecord.h"
#include "operation/DebugLog.h"
#include "operation/ErrorReporter.h"
#include "operation/ProcessState.h"
#include "platform/FileSystem.h"
#include "platform/FileTools.h"
#include "platform/Host.h"
#include "platform/JournalStore.h"

namespace qm {

class JobSettings; // settings sit above this layer; users include settings/JobSettings.h

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
    // Where recovery journals are kept; none means jobs run without one.
    JournalStore* journals = nullptr;
    // Told of each index file a run handled (the record in the system log); none tells nobody.
    RunObserver* observer = nullptr;
};

} // namespace qm
