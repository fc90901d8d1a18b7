#pragma once

#include "operation/Context.h"
#include "operation/ConversionLog.h"
#include "operation/DebugLog.h"
#include "operation/ErrorReporter.h"
#include "operation/ProcessState.h"
#include "settings/JobSettings.h"
#include "startup/Main.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

inline constexpr std::string_view ProgramName = "quillmarch";
inline constexpr std::string_view StartupOperation = "Program Load";

// One run of the program from start-up to its road's end. Member order is construction
// order: the job exists before the log that reads its debug flag, the log before the
// reporter that writes to it.
struct Session {
    Session(MainEnvironment& environment, ProgramOptions programOptions, Host& shownOn,
            ProgramWindow* programWindow, std::string logPath)
        : env(environment), options(std::move(programOptions)), host(shownOn),
          window(programWindow),
          // A check writes nothing, the debug log included.
          log(options.check ? std::function<bool()>([] { return false; }) : job.debugModeQuery(),
              env.files, env.systemLog, env.clock, std::move(logPath)),
          reporter(host, env.systemLog, log, process), record(env.systemLog) {}

    MainEnvironment& env;
    ProgramOptions options;
    Host& host;
    ProgramWindow* window; // null without a window: the console host shows everything
    // A new record holds the defaults with debug mode off, as the window's load leaves it;
    // a new process state has every flag off and no configuration file.
    JobSettings job;
    ProcessState process;
    DebugLog log;
    ErrorReporter reporter;
    ConversionLog record; // every index file a run handles, in the system log
    std::unique_ptr<FileTools> tools;
    std::optional<Context> context;
};

} // namespace qm
