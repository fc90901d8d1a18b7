#pragma once

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/FileTools.h"
#include "platform/FolderWatch.h"
#include "platform/Host.h"
#include "platform/JournalStore.h"
#include "platform/ServiceControl.h"
#include "platform/SettingsStore.h"
#include "platform/SystemLog.h"
#include "startup/ProgramOptions.h"
#include "startup/ProgramWindow.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Everything the program's entry reaches the machine through, built by the composition root
// (or a test). The factories run inside start-up, so a failure there is reported like any
// other start-up failure.
// Where the window would go and whether it can go there.
struct DisplayCheck {
    bool available = false;
    std::string silentDisplay; // DISPLAY, when the X server it names does not answer
};

struct MainEnvironment {
    MainEnvironment(std::ostream& standardOutput, std::ostream& standardError,
                    FileSystem& fileSystem, SettingsStore& settingsStore, SystemLog& log,
                    Clock& localClock)
        : out(standardOutput), err(standardError), files(fileSystem), settings(settingsStore),
          systemLog(log), clock(localClock) {}

    std::ostream& out; // help and version
    std::ostream& err; // usage errors and the roads that are not available
    FileSystem& files;
    SettingsStore& settings;
    SystemLog& systemLog;
    Clock& clock;
    std::function<std::unique_ptr<FileTools>()> makeFileTools;
    // The host of a run without a window.
    std::function<std::unique_ptr<Host>()> makeConsoleHost;
    // The main window; used when a display is available and --headless was not given. Empty in
    // a build without the window. Throws (std::exception) when the window system cannot start:
    // the program then goes on without the window, as for a display that does not answer.
    std::function<std::unique_ptr<ProgramWindow>()> makeWindow;
    // DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set.
    bool displayAvailable = false;
    // Asked just before the window is made (never for a run without it): whether the display
    // it would go to answers (see CheckDisplay). Empty: it is taken to answer.
    std::function<DisplayCheck()> checkDisplay;
    // Set when that check found an X display that does not answer, for the message.
    std::string silentDisplay;
    // Set when the window could not be made, for the message.
    std::string windowFailure;
    std::string executableFolder;
    // Where "debug-QM.log" goes for the given executable folder; when empty, the file lies
    // directly in that folder.
    std::function<std::string(const std::string& executableFolder)> locateDebugLog;
    // Where jobs keep their recovery journals; none runs jobs without one.
    JournalStore* journals = nullptr;
    // The service manager, for the service road and the install and remove commands.
    std::function<std::unique_ptr<ServiceControl>()> makeServiceControl;
    // The running executable's absolute path: the program the service manager starts.
    std::string executablePath;
    // Watches folders for watch mode; empty, the timer alone finds new index files.
    std::function<std::unique_ptr<FolderWatch>()> makeFolderWatch;
    // Standard output is a terminal: a command-line job ends with a summary line there.
    bool outputIsTerminal = false;
};

// The exit statuses of the program.
namespace exitstatus {
inline constexpr int Success = 0;
inline constexpr int Failure = 1; // a conversion failed, an error was reported, start-up failed
inline constexpr int Usage = 2;   // a usage error, or a road this build cannot take
} // namespace exitstatus

// True when `getEnvironment` finds a non-empty DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM.
bool DisplayAvailable(const std::function<const char*(const char*)>& getEnvironment);

// DisplayAvailable, and when the window would go to an X server (no Wayland display, and no Qt
// platform other than xcb named), whether that server answers: asked of `x11Answers`, since
// the toolkit ends the process when it cannot reach its display.
DisplayCheck CheckDisplay(const std::function<const char*(const char*)>& getEnvironment,
                          const std::function<bool(std::string_view)>& x11Answers);

// The program's entry: reads the options and the command line (the arguments after the
// program's own name), loads the job, applies the switches and takes one road (see Roads.h).
// Returns the exit status.
int Main(const std::vector<std::string>& arguments, MainEnvironment& env);

} // namespace qm
