#pragma once

#include "platform/PathMap.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/StandardFileTools.h"
#include "support/CoreWiring.h"
#include "support/Doubles.h"
#include "support/ScriptedHost.h"
#include "support/TempFolder.h"

#include <optional>
#include <string>
#include <string_view>

namespace qm::test {

// Sets an environment variable (or removes it, for nullopt) for the life of the object and
// restores the previous state afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::optional<std::string>& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Waits up to `seconds` for `path` to exist; true when it does.
bool WaitForFile(const std::string& path, double seconds = 5.0);

// The machine of a test: real files in a fresh temporary folder, the real file system and
// file tools, settings in memory, a scripted person at the screen, a recorded system log and a
// fixed clock.
struct TestMachine {
    TempFolder temp;
    MemorySettingsStore store;
    PathMap map{store};
    PosixFileSystem files{map};
    StandardFileTools tools{files, store};
    ScriptedHost host;
    RecordingSystemLog systemLog;
    FixedClock clock;
};

// A whole core wired for a test on its machine; the debug log is "debug-QM.log" in the
// temporary folder.
struct TestWorld : TestMachine, CoreWiring {
    TestWorld();

    // Maps drive `letter` ("C") to the host folder `hostFolder` for the file system.
    void mapDrive(std::string_view letter, const std::string& hostFolder);

    // A job that converts every "in/*.csv" into "out/result.bif" without moving images and
    // removes each index file it converted, as a timer or the service runs it.
    void useRepeatedJob();
};

} // namespace qm::test
