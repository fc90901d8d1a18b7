// The composition root: builds the machine's real services for Linux and hands them to Main.

#include "startup/Main.h"

#include "platform/PathMap.h"
#include "platform/posix/ConsoleHost.h"
#include "platform/posix/DebugLogLocation.h"
#include "platform/posix/HeapTuning.h"
#include "platform/posix/InotifyFolderWatch.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixJournalStore.h"
#include "platform/posix/ProgramFolders.h"
#include "platform/posix/QtSettingsStore.h"
#include "platform/posix/StandardFileTools.h"
#include "platform/posix/SyslogSystemLog.h"
#include "platform/posix/SystemClock.h"
#include "platform/posix/SystemdServiceControl.h"
#include "platform/posix/X11Display.h"
#include "ui/WindowProgram.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    qm::KeepFileBuffersInTheHeap();
    try {
        const std::vector<std::string> arguments(argv + 1, argv + argc);

        qm::QtSettingsStore settings;
        qm::PathMap pathMap(settings);
        qm::PosixFileSystem files(pathMap);
        qm::PosixJournalStore journals(pathMap, qm::PosixJournalStore::UserFolder());
        qm::SyslogSystemLog systemLog;
        qm::SystemClock clock;

        qm::MainEnvironment env{std::cout, std::cerr, files, settings, systemLog, clock};
        env.makeFileTools = [&] {
            return std::make_unique<qm::StandardFileTools>(files, settings);
        };
        env.makeConsoleHost = [] {
            return std::make_unique<qm::ConsoleHost>(std::cin, std::cerr,
                                                     qm::ConsoleHost::StandardTerminal());
        };
        env.makeWindow = [&] {
            return std::make_unique<qm::ui::WindowProgram>(
                settings, qm::ManualFolder(qm::ExecutableFolder()),
                [&pathMap](const std::string& path) { return pathMap.toHost(path); },
                qm::ui::ServiceAccess{env.makeServiceControl, env.executablePath});
        };
        const auto getEnvironment = [](const char* name) { return std::getenv(name); };
        env.displayAvailable = qm::DisplayAvailable(getEnvironment);
        env.checkDisplay = [getEnvironment] {
            return qm::CheckDisplay(
                getEnvironment, [](std::string_view name) { return qm::X11DisplayAnswers(name); });
        };
        env.executableFolder = qm::ExecutableFolder();
        env.journals = &journals;
        env.locateDebugLog = [](const std::string& folder) { return qm::DebugLogLocation(folder); };
        env.executablePath = qm::ExecutablePath();
        env.makeServiceControl = [&] {
            return std::make_unique<qm::SystemdServiceControl>(
                qm::SystemdSetupFromEnvironment(env.executablePath), pathMap, systemLog);
        };
        env.makeFolderWatch = [&] { return std::make_unique<qm::InotifyFolderWatch>(pathMap); };
        env.outputIsTerminal = ::isatty(STDOUT_FILENO) == 1;

        const int status = qm::Main(arguments, env);
        std::cout.flush();
        return std::cout ? status : qm::exitstatus::Failure;
    } catch (const std::exception& e) {
        std::cerr << "quillmarch: " << e.what() << '\n';
        return qm::exitstatus::Failure;
    }
}
