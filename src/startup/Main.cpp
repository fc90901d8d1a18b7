#include "startup/Main.h"

#include "check/UnattendedHost.h"
#include "platform/Error.h"
#include "settings/ConfigFile.h"
#include "startup/CommandLine.h"
#include "startup/Roads.h"
#include "startup/Session.h"

#include <exception>
#include <ostream>

namespace qm {

namespace {

std::string DebugLogPath(const MainEnvironment& env) {
    const std::string inExecutableFolder = env.executableFolder + "/debug-QM.log";
    if (!env.locateDebugLog)
        return inExecutableFolder;
    try {
        return env.locateDebugLog(env.executableFolder);
    } catch (const std::exception&) {
        // Nothing can report yet; should debug mode be switched on, writing the first line
        // there fails and is reported by the operation that writes it.
        return inExecutableFolder;
    }
}

// Reads the command line into the job and the process state: the configuration file named
// first, then the switches in order. Raises on failure; the caller reports it.
void ReadCommandLine(Session& s) {
    Context& context = *s.context;

    const std::vector<std::string> arguments = SplitCommandLine(s.options.commandLine);
    const std::size_t count = arguments.size() - 1;

    std::size_t firstSwitch = 1;
    std::string firstFile;
    if (count >= 1) {
        const std::string candidate = UnquoteFirstArgument(arguments[1]);
        if (s.env.files.fileExists(candidate)) {
            s.process.commandLineConfigFile = candidate;
            OpenConfig(context, candidate);
            firstSwitch = 2;
            firstFile = candidate;
        }
    }
    for (std::size_t i = firstSwitch; i <= count; ++i) {
        if (IsKnownSwitch(arguments[i]))
            ApplySwitch(context, *ParseSwitch(arguments[i]), s.options.commandLine);
        else
            s.env.err << ProgramName << ": " << arguments[i] << " is not a switch; ignored\n";
    }
    s.log.WriteLog("Command line parsed");
    // The first argument was loaded before any switch, so before /b could switch the log on.
    if (!firstFile.empty())
        LogConfigFileProblems(context, firstFile);
}

bool DisplayAnswers(MainEnvironment& env) {
    if (!env.checkDisplay)
        return true;
    const DisplayCheck check = env.checkDisplay();
    env.silentDisplay = check.silentDisplay;
    return check.available;
}

// Builds the session for a road the options leave open or have chosen, reads the command line
// and takes the road.
int RunProgram(MainEnvironment& env, ProgramOptions options, Road road) {
    std::unique_ptr<ProgramWindow> window;
    std::unique_ptr<Host> consoleHost;
    if (env.makeWindow && env.displayAvailable && !options.headless && !IsTerminalRoad(road) &&
        DisplayAnswers(env)) {
        try {
            window = env.makeWindow();
        } catch (const std::exception& e) {
            // Said at once: a named job then runs without the window and says nothing more.
            env.windowFailure = e.what();
            env.err << ProgramName << ": the window cannot be shown: " << env.windowFailure
                    << ".\n";
        }
    }
    if (!window) {
        consoleHost = env.makeConsoleHost();
        if (road == Road::Check)
            consoleHost = std::make_unique<UnattendedHost>(std::move(consoleHost));
    }
    Session s(env, std::move(options), window ? window->host() : *consoleHost, window.get(),
              DebugLogPath(env));
    // The window views the session's job, so it must go before the session does.
    const std::unique_ptr<ProgramWindow> shownWindow = std::move(window);

    const bool started = RunOperation(s.reporter, StartupOperation, [&] {
        s.tools = env.makeFileTools();
        if (!s.tools)
            throw Error(errnum::InternalError, "Quillmarch", "No file tools component");
        s.context.emplace(Context{env.files, *s.tools, s.host, s.job, s.process, s.log, s.reporter,
                                  env.journals, &s.record});
        // The window's load runs before any switch is read.
        if (s.window)
            s.window->load(*s.context);
        ReadCommandLine(s);
        // The job file asked for was there before the session was built.
        const auto jobFileFound = [] { return false; };
        road = ChooseRoad(s.options, jobFileFound, s.process);
        // The job belongs to the file named on the command line, whether it runs now or not.
        if ((!s.process.serviceMode || s.options.installService) &&
            !s.process.commandLineConfigFile.empty())
            s.job.setText(TextField::CurrentConfigFile, s.process.commandLineConfigFile);
    });
    if (!started)
        return exitstatus::Failure;
    return TakeRoad(s, road);
}

} // namespace

bool DisplayAvailable(const std::function<const char*(const char*)>& getEnvironment) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = getEnvironment(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
}

DisplayCheck CheckDisplay(const std::function<const char*(const char*)>& getEnvironment,
                          const std::function<bool(std::string_view)>& x11Answers) {
    const auto value = [&](const char* name) {
        const char* text = getEnvironment(name);
        return std::string_view(text != nullptr ? text : "");
    };
    DisplayCheck check;
    check.available = DisplayAvailable(getEnvironment);
    const std::string_view platform = value("QT_QPA_PLATFORM");
    const bool toX11 =
        value("WAYLAND_DISPLAY").empty() && (platform.empty() || platform.starts_with("xcb"));
    if (check.available && toX11 && !x11Answers(value("DISPLAY"))) {
        check.available = false;
        check.silentDisplay = value("DISPLAY");
    }
    return check;
}

int Main(const std::vector<std::string>& arguments, MainEnvironment& env) {
    ProgramOptions options = TakeProgramOptions(arguments);
    try {
        std::string missingJob;
        const auto jobFileMissing = [&] {
            missingJob = MissingJobFile(options, env.files).value_or("");
            return !missingJob.empty();
        };
        const Road road = ChooseRoad(options, jobFileMissing, ProcessState{});
        switch (road) {
        case Road::UsageError:
            env.err << ProgramName << ": ";
            if (!options.unknownOption.empty())
                env.err << "unrecognized option '" << options.unknownOption << "'\n";
            else
                env.err << OptionProblem(options) << '\n';
            env.err << "Try '" << ProgramName << " --help' for more information.\n";
            return exitstatus::Usage;
        case Road::Help:
            env.out << UsageText();
            return exitstatus::Success;
        case Road::Version:
            env.out << ProgramName << ' ' << QM_VERSION << '\n';
            return exitstatus::Success;
        case Road::NoSuchJobFile:
            env.err << ProgramName << ": " << missingJob << ": no such configuration file\n";
            return exitstatus::Usage;
        default:
            return RunProgram(env, std::move(options), road);
        }
    } catch (const std::exception& e) {
        // Only what runs before the error reporter exists (the host) can end up here.
        env.err << ProgramName << ": " << e.what() << '\n';
        return exitstatus::Failure;
    }
}

} // namespace qm
