#include "startup/Roads.h"

#include "check/FindingReport.h"
#include "check/JobCheck.h"
#include "convert/JobRunner.h"
#include "platform/Error.h"
#include "service/AutomaticProcessing.h"
#include "service/ServiceCommands.h"
#include "service/ServiceHost.h"
#include "service/ServiceHosting.h"
#include "service/WatchProcessing.h"
#include "startup/CommandLine.h"
#include "startup/Session.h"

#include <ostream>

namespace qm {

namespace {

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

// The window, until it is closed; without one, why it cannot be shown.
int RunWindowRoad(Session& s) {
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

} // namespace

Road ChooseRoad(const ProgramOptions& options, const std::function<bool()>& jobFileMissing,
                const ProcessState& commandLine) {
    if (!options.unknownOption.empty())
        return Road::UsageError;
    if (!OptionProblem(options).empty() && !options.help && !options.version)
        return Road::UsageError;
    if (options.help)
        return Road::Help;
    if (options.version)
        return Road::Version;
    if (jobFileMissing())
        return Road::NoSuchJobFile;
    if (options.installService)
        return Road::InstallService;
    if (options.removeService)
        return Road::RemoveService;
    if (options.check)
        return Road::Check;
    if (options.watch)
        return Road::Watch;
    if (commandLine.serviceMode)
        return Road::Service;
    if (!commandLine.commandLineConfigFile.empty() && !commandLine.manualMode)
        return Road::CommandLineJob;
    return Road::Window;
}

bool IsTerminalRoad(Road road) {
    return road == Road::InstallService || road == Road::RemoveService || road == Road::Check ||
           road == Road::Watch;
}

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
    case Road::InstallService:
    case Road::RemoveService:
        return RunServiceCommand(s);
    case Road::Check:
        return RunCheckRoad(s);
    case Road::Watch:
        return RunWatchRoad(s);
    case Road::Service:
        return RunServiceRoad(s);
    case Road::CommandLineJob:
        return RunCommandLineJob(s);
    case Road::Window:
        return RunWindowRoad(s);
    case Road::UsageError:
    case Road::Help:
    case Road::Version:
    case Road::NoSuchJobFile:
        break; // taken before there is a session
    }
    return exitstatus::Failure;
}

} // namespace qm
