#include "startup/Main.h"

#include "check/FindingReport.h"
#include "check/JobCheck.h"
#include "check/UnattendedHost.h"
#include "convert/JobRunner.h"
#include "operation/Context.h"
#include "operation/ConversionLog.h"
#include "operation/DebugLog.h"
#include "operation/ErrorReporter.h"
#include "operation/ProcessState.h"
#include "platform/Error.h"
#include "service/AutomaticProcessing.h"
#include "service/ServiceCommands.h"
#include "service/ServiceHost.h"
#include "service/ServiceHosting.h"
#include "service/WatchProcessing.h"
#include "settings/ConfigFile.h"
#include "settings/JobSettings.h"
#include "startup/CommandLine.h"

#include <charconv>
#include <exception>
#include <optional>
#include <ostream>

namespace qm {

namespace {

constexpr std::string_view ProgramName = "quillmarch";
constexpr std::string_view StartupOperation = "Program Load";
constexpr std::string_view HeadlessNeedsAJob =
    "--headless needs a job: quillmarch --headless job.sbf";

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
Road ReadCommandLine(Session& s) {
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

    if (s.process.serviceMode)
        return Road::Service;
    if (!s.process.commandLineConfigFile.empty() && !s.process.manualMode)
        return Road::CommandLineJob;
    return Road::Interactive;
}

std::unique_ptr<ServiceControl> MakeServiceControl(Session& s) {
    std::unique_ptr<ServiceControl> control =
        s.env.makeServiceControl ? s.env.makeServiceControl() : nullptr;
    if (!control)
        throw Error(errnum::InternalError, "Quillmarch", "No service manager");
    return control;
}

// No window and nobody at the screen: every box goes to the event log and every question
// gets its unattended answer. The process lives until the service manager stops it.
int RunServiceRoad(Session& s) {
    std::unique_ptr<ServiceControl> control;
    if (!RunOperation(s.reporter, StartupOperation, [&] { control = MakeServiceControl(s); }))
        return exitstatus::Failure;
    ServiceHost host(*control);
    // The service is the road nobody watches: an interrupted run must finish on its next one.
    Context context{s.env.files, *s.tools,   host,           s.job,    s.process,
                    s.log,       s.reporter, s.env.journals, &s.record};
    AutomaticProcessing automatic(context);
    std::unique_ptr<FolderWatch> folderWatch =
        s.env.makeFolderWatch ? s.env.makeFolderWatch() : nullptr;
    std::optional<WatchProcessing> watch;
    if (folderWatch)
        watch.emplace(context, automatic, *folderWatch);
    bool started = false;
    RunOperation(s.reporter, StartupOperation, [&] {
        started = RunAsService(context, *control, automatic, watch ? &*watch : nullptr);
    });
    return started ? exitstatus::Success : exitstatus::Failure;
}

// --watch: the service's loop in the foreground, for the job named on the command line, with
// the folder watch on. Unattended as the service is; boxes and the record of each index file
// also go to standard error.
int RunWatchRoad(Session& s) {
    const std::string& jobFile = s.process.commandLineConfigFile;
    if (jobFile.empty()) {
        s.env.err << ProgramName << ": --watch needs a job: " << ProgramName
                  << " --watch job.sbf\n";
        return exitstatus::Usage;
    }
    std::unique_ptr<ServiceControl> control;
    std::unique_ptr<FolderWatch> folderWatch;
    if (!RunOperation(s.reporter, StartupOperation, [&] {
            control = MakeServiceControl(s);
            folderWatch = s.env.makeFolderWatch ? s.env.makeFolderWatch() : nullptr;
            if (!folderWatch)
                throw Error(errnum::InternalError, "Quillmarch", "No folder watch");
        }))
        return exitstatus::Failure;
    s.process.serviceMode = true;
    ServiceHost host(*control, &s.env.err);
    ConversionLog record(s.env.systemLog, &s.env.err);
    Context context{s.env.files, *s.tools,   host,           s.job,  s.process,
                    s.log,       s.reporter, s.env.journals, &record};
    AutomaticProcessing automatic(context);
    WatchProcessing watch(context, automatic, *folderWatch);
    s.env.err << ProgramName << ": watching the index folders of " << jobFile
              << " (SIGTERM or Ctrl-C stops; the record goes to the system log)\n"
              << std::flush;
    bool started = false;
    RunOperation(s.reporter, StartupOperation,
                 [&] { started = RunAsService(context, *control, automatic, &watch, jobFile); });
    return started ? exitstatus::Success : exitstatus::Failure;
}

// --install-service and --remove-service: what the two menu commands do, from a terminal.
int RunServiceCommand(Session& s) {
    std::unique_ptr<ServiceControl> control;
    if (!RunOperation(s.reporter, StartupOperation, [&] { control = MakeServiceControl(s); }))
        return exitstatus::Failure;
    const bool done =
        s.options.installService
            ? InstallService(*s.context, *control, s.env.executablePath, s.options.watch)
            : RemoveService(*s.context, *control);
    return done && s.reporter.reportCount() == 0 ? exitstatus::Success : exitstatus::Failure;
}

// The job runs once, then the program ends. With the window, it is shown while the job runs
// and closed at the end.
int RunCommandLineJob(Session& s) {
    RunSummary summary;
    const bool ran = RunOperation(s.reporter, StartupOperation, [&] {
        if (s.window)
            s.window->show();
        summary = RunJob(*s.context);
    });
    if (s.window)
        s.window->close();
    if (s.env.outputIsTerminal)
        s.env.out << SummaryLine(s.record.totals()) << '\n';
    // Every report of the process counts, those of start-up included: a job whose
    // configuration file could not be read ran with other settings than it asked for.
    if (!ran || summary.refused || summary.failed > 0 || s.reporter.reportCount() > 0)
        return exitstatus::Failure;
    return exitstatus::Success;
}

int RunInteractiveRoad(Session& s) {
    if (s.window) {
        s.window->show();
        s.window->runUntilClosed();
        return exitstatus::Success;
    }
    // --headless asked for a job, not for the window: say what the job lacks, not that there
    // is no display.
    if (s.options.headless) {
        if (s.process.commandLineConfigFile.empty())
            s.env.err << ProgramName << ": " << HeadlessNeedsAJob << '\n';
        else
            s.env.err << ProgramName
                      << ": --headless runs the job, but /m loads it without running it: "
                         "nothing to do\n";
        s.env.err << "Try '" << ProgramName << " --help' for more information.\n";
        return exitstatus::Usage;
    }
    if (!s.env.windowFailure.empty()) {
        // Already said when the window failed.
    } else if (!s.env.silentDisplay.empty())
        s.env.err << ProgramName << ": the display " << s.env.silentDisplay
                  << " does not answer, so the window cannot be shown.\n";
    else if (s.env.displayAvailable && !s.options.headless)
        s.env.err << ProgramName << ": the window is not available yet.\n";
    else
        s.env.err << ProgramName
                  << ": no display is available for the window (DISPLAY, WAYLAND_DISPLAY and "
                     "QT_QPA_PLATFORM are not set).\n";
    s.env.err << "To run a job without the window, name its configuration file:\n  " << ProgramName
              << " --headless job.sbf\n";
    return exitstatus::Usage;
}

// Goes through the job as a run would and reports what it finds, touching nothing.
int RunCheckRoad(Session& s) {
    FindingReport report(s.env.out, s.options.json ? ReportFormat::JsonLines : ReportFormat::Text,
                         s.options.maxFindings);
    CheckTotals totals;
    const bool ran =
        RunOperation(s.reporter, StartupOperation, [&] { totals = CheckJob(*s.context, report); });
    report.finish(totals);
    if (!ran || report.errors() > 0 || s.reporter.reportCount() > 0)
        return exitstatus::Failure;
    return exitstatus::Success;
}

// With --headless or --check the user asked for a job: a first argument that reads as no
// switch must name an existing configuration file. Returns the missing name, or nothing.
std::optional<std::string> MissingJobFile(const ProgramOptions& options, FileSystem& files) {
    if (!options.headless && !options.check && !options.installService && !options.watch)
        return std::nullopt;
    const std::vector<std::string> arguments = SplitCommandLine(options.commandLine);
    if (arguments.size() < 2 || ReadsAsSwitch(arguments[1]))
        return std::nullopt;
    const std::string candidate = UnquoteFirstArgument(arguments[1]);
    if (files.fileExists(candidate))
        return std::nullopt;
    return candidate;
}

int TakeRoad(Session& s, Road road) {
    switch (road) {
    case Road::Service:
        return RunServiceRoad(s);
    case Road::CommandLineJob:
        return RunCommandLineJob(s);
    case Road::Interactive:
        return RunInteractiveRoad(s);
    }
    return exitstatus::Failure;
}

bool DisplayAnswers(MainEnvironment& env) {
    if (!env.checkDisplay)
        return true;
    const DisplayCheck check = env.checkDisplay();
    env.silentDisplay = check.silentDisplay;
    return check.available;
}

int RunProgram(MainEnvironment& env, ProgramOptions options) {
    std::unique_ptr<ProgramWindow> window;
    std::unique_ptr<Host> consoleHost;
    // A check and the service commands are terminal commands: they never show the window.
    const bool terminalCommand =
        options.check || options.installService || options.removeService || options.watch;
    if (env.makeWindow && env.displayAvailable && !options.headless && !terminalCommand &&
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
        if (options.check)
            consoleHost = std::make_unique<UnattendedHost>(std::move(consoleHost));
    }
    Session s(env, std::move(options), window ? window->host() : *consoleHost, window.get(),
              DebugLogPath(env));
    // The window views the session's job, so it must go before the session does.
    const std::unique_ptr<ProgramWindow> shownWindow = std::move(window);

    Road road = Road::Interactive;
    const bool started = RunOperation(s.reporter, StartupOperation, [&] {
        s.tools = env.makeFileTools();
        if (!s.tools)
            throw Error(errnum::InternalError, "Quillmarch", "No file tools component");
        s.context.emplace(Context{env.files, *s.tools, s.host, s.job, s.process, s.log, s.reporter,
                                  env.journals, &s.record});
        // The window's load runs before any switch is read.
        if (s.window)
            s.window->load(*s.context);
        road = ReadCommandLine(s);
        // The job belongs to the file named on the command line, whether it runs now or not.
        if ((road != Road::Service || s.options.installService) &&
            !s.process.commandLineConfigFile.empty())
            s.job.setText(TextField::CurrentConfigFile, s.process.commandLineConfigFile);
    });
    if (!started)
        return exitstatus::Failure;
    if (s.options.installService || s.options.removeService)
        return RunServiceCommand(s);
    if (s.options.check)
        return RunCheckRoad(s);
    if (s.options.watch)
        return RunWatchRoad(s);
    return TakeRoad(s, road);
}

} // namespace

ProgramOptions TakeProgramOptions(const std::vector<std::string>& arguments) {
    ProgramOptions options;
    bool optionsEnded = false;
    bool first = true;
    for (auto next = arguments.begin(); next != arguments.end(); ++next) {
        const std::string& argument = *next;
        if (!optionsEnded) {
            if (argument == "--") {
                optionsEnded = true;
                continue;
            }
            if (argument == "--help" || argument == "-h") {
                options.help = true;
                continue;
            }
            if (argument == "--version") {
                options.version = true;
                continue;
            }
            if (argument == "--headless") {
                options.headless = true;
                continue;
            }
            if (argument == "--check") {
                options.check = true;
                continue;
            }
            if (argument == "--json") {
                options.json = true;
                options.checkOption = "--json";
                continue;
            }
            if (argument == "--max-findings" || argument.starts_with("--max-findings=")) {
                options.checkOption = "--max-findings";
                std::string_view value;
                if (argument.size() > 14)
                    value = std::string_view(argument).substr(15);
                else if (++next != arguments.end())
                    value = *next;
                const auto parsed =
                    std::from_chars(value.data(), value.data() + value.size(), options.maxFindings);
                if (value.empty() || parsed.ec != std::errc() ||
                    parsed.ptr != value.data() + value.size())
                    options.badValue = "--max-findings needs a number of findings";
                if (next == arguments.end())
                    break;
                continue;
            }
            if (argument == "--install-service") {
                options.installService = true;
                continue;
            }
            if (argument == "--remove-service") {
                options.removeService = true;
                continue;
            }
            if (argument == "--watch") {
                options.watch = true;
                continue;
            }
            if (argument.size() > 2 && argument.compare(0, 2, "--") == 0) {
                if (options.unknownOption.empty())
                    options.unknownOption = argument;
                continue;
            }
        }
        if (!first)
            options.commandLine += ' ';
        options.commandLine += argument;
        first = false;
    }
    return options;
}

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

std::string UsageText() {
    return R"(Usage: quillmarch [OPTION]... [CONFIG-FILE] [SWITCH]...
Turn index files into BIF batch import files, as a saved job (a .sbf configuration file)
describes, and move each document's image below the BIF file's folder when the job asks.

Options:
  -h, --help      show this help and exit
      --version   show the version and exit
      --headless  run a job without the window, even where a display is available
      --check     go through the job as a run would and list every problem it would meet,
                  as "file:line: severity: message" lines and a summary; nothing is
                  created, written, moved, renamed or deleted, and nothing is asked
      --json      with --check: the findings as JSON Lines, then a summary object
      --max-findings N
                  with --check: show at most N findings of each kind (default 1000);
                  the summary still counts every one
      --install-service JOB.sbf [SWITCH]...
                  install the systemd service that runs the job every five minutes
                  (/b in the switches: the service writes the debug log)
      --remove-service
                  remove the systemd service
      --watch JOB.sbf [SWITCH]...
                  run the job in the foreground, without the window, on each index file
                  seconds after it is complete (written and closed, or moved in, and then
                  left alone for 10 seconds), with a run every five minutes as a sweep;
                  with --install-service: the service does the same
      --          end of the options: every later argument belongs to the command line

The other arguments, joined with single blanks, are the command line. Its first argument is
the configuration file to load when a file of that name exists. A new argument begins only
where a blank is followed by "/" or "\", so paths with blanks need no quotes. Switches are
"/" or "\", one lower-case letter, and for some ":" and a value; they act in the order
given, so a later switch overrides an earlier one and a file loaded with /c.
  /c:FILE   load the configuration file FILE; the job then runs as if FILE came first
  /f:PATH   index file; several are separated by "|"; a "*" picks files by extension
  /x:PATH   BIF output file
  /a:PATH   image folder
  /t:TEXT   document type
  /l:TEXT   destination folder in the document system
  /s:TEXT   maximum files per BIF file (kept in the job; no conversion reads it)
  /d        allow duplicates: give a moved image a numbered name instead of asking
  /r        remove each index file after its successful conversion
  /w        say "Finished BIF conversion!" when the job ends
  /k        skip the header row of each index file
  /b        debug mode: write the debug log debug-QM.log
  /m        manual: load the configuration file but do not run the job
  /v        run as the service
  /p        put the whole command line on the clipboard (only with the window)

Roads:
  A configuration file named and no /m: the job runs once and the program ends. Questions
  are asked on the terminal; without one (or with input from a file) nothing is
  overwritten or guessed: "File Exists" is answered Cancel, other questions No, file
  dialogs are cancelled.
  /v: the service, as systemd starts it: the job stored at installation runs 31 seconds
  after the start, then every five minutes, until SIGTERM or SIGINT; a file being converted
  then is finished first. SIGHUP (systemctl reload) reads the job again. Messages and a
  record of each index file go to syslog (journalctl -t quillmarch); systemctl status
  shows the file being converted and what the last run did.
  --watch: the same loop in the foreground for the job named, watching its index folders.
  Otherwise: the window, until it is closed; with a configuration file named and no /m,
  the window shows the job running and closes at its end (--headless: no window).

Exit status:
  0  the job ran and every index file was converted (--check: nothing would fail)
  1  an index file failed to convert, an error was reported, or start-up failed
     (--check: something would make a conversion or the run fail)
  2  a usage error, or a road this build cannot take

Examples:
  quillmarch --headless jobs/daily.sbf
  quillmarch --headless jobs/daily.sbf '/x:out\today.bif' /k /b
  quillmarch --check jobs/daily.sbf
)";
}

int Main(const std::vector<std::string>& arguments, MainEnvironment& env) {
    ProgramOptions options = TakeProgramOptions(arguments);
    if (!options.unknownOption.empty()) {
        env.err << ProgramName << ": unrecognized option '" << options.unknownOption << "'\n"
                << "Try '" << ProgramName << " --help' for more information.\n";
        return exitstatus::Usage;
    }
    if (options.badValue.empty() && !options.checkOption.empty() && !options.check)
        options.badValue = options.checkOption + " goes with --check";
    if (options.badValue.empty() && options.check && options.commandLine.empty())
        options.badValue = "--check needs a job: quillmarch --check job.sbf";
    if (options.badValue.empty() && options.headless && options.commandLine.empty() &&
        !options.installService && !options.removeService)
        options.badValue = HeadlessNeedsAJob;
    if (!options.badValue.empty() && !options.help && !options.version) {
        env.err << ProgramName << ": " << options.badValue << '\n'
                << "Try '" << ProgramName << " --help' for more information.\n";
        return exitstatus::Usage;
    }
    if (options.help) {
        env.out << UsageText();
        return exitstatus::Success;
    }
    if (options.version) {
        env.out << ProgramName << ' ' << QM_VERSION << '\n';
        return exitstatus::Success;
    }
    try {
        if (const auto missing = MissingJobFile(options, env.files)) {
            env.err << ProgramName << ": " << *missing << ": no such configuration file\n";
            return exitstatus::Usage;
        }
        return RunProgram(env, std::move(options));
    } catch (const std::exception& e) {
        // Only what runs before the error reporter exists (the host) can end up here.
        env.err << ProgramName << ": " << e.what() << '\n';
        return exitstatus::Failure;
    }
}

} // namespace qm
