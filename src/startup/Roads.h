#pragma once

#include "operation/ProcessState.h"
#include "platform/FileSystem.h"
#include "startup/ProgramOptions.h"

#include <functional>
#include <optional>
#include <string>

namespace qm {

struct Session;

// The ways a run can go.
enum class Road {
    // Decided by the options alone, before anything is built:
    UsageError,    // an unknown option, a bad value, an option without what it needs
    Help,          // --help: the usage text
    Version,       // --version
    NoSuchJobFile, // a job asked for (--headless, --check, ...) names no existing file
    // Decided by the options, taken once the command line is read:
    InstallService, // --install-service: register the job named as the service
    RemoveService,  // --remove-service
    Check,          // --check: go through the job, touch nothing
    Watch,          // --watch: the service's loop in the foreground
    // Decided by the command line:
    Service,        // switch v: the service host
    CommandLineJob, // a configuration file named and no switch m: the job runs once
    Window,         // the window, until the user closes it
};

// The one place a road is chosen. `jobFileMissing` is asked only when the options leave the
// road open; `commandLine` is the state the command line left, a fresh one before it is
// read. Roads that the options decide come first, so the answer before the command line is
// read is already right for every road but the last three.
Road ChooseRoad(const ProgramOptions& options, const std::function<bool()>& jobFileMissing,
                const ProcessState& commandLine);

// The roads that answer in the terminal and never show the window.
bool IsTerminalRoad(Road road);

// With --headless, --check, --install-service or --watch the user asked for a job: a first
// argument that reads as no switch must name an existing configuration file. Returns the
// missing name, or nothing.
std::optional<std::string> MissingJobFile(const ProgramOptions& options, FileSystem& files);

// Takes one of the roads after the options (from InstallService on). Returns the exit status.
int TakeRoad(Session& s, Road road);

} // namespace qm
