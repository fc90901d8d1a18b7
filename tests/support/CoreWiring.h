#pragma once

#include "operation/Context.h"
#include "operation/DebugLog.h"
#include "operation/ErrorReporter.h"
#include "operation/ProcessState.h"
#include "settings/JobSettings.h"

#include <string>
#include <utility>

namespace qm::test {

// The core above a machine, wired the one way tests and fuzz targets use: a fresh job and
// process state, the debug log at `logPath`, the error reporter and the context that joins
// them. A world derives from its machine first, then from this, so the machine outlives it.
struct CoreWiring {
    CoreWiring(FileSystem& files, FileTools& tools, Host& host, SystemLog& systemLog, Clock& clock,
               std::string logPath)
        : log(job.debugModeQuery(), files, systemLog, clock, std::move(logPath)),
          reporter(host, systemLog, log, process), context{files,   tools, host,    job,
                                                           process, log,   reporter} {}
    CoreWiring(const CoreWiring&) = delete;
    CoreWiring& operator=(const CoreWiring&) = delete;

    JobSettings job;
    ProcessState process;
    DebugLog log;
    ErrorReporter reporter;
    Context context;
};

} // namespace qm::test
