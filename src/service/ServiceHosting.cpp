#include "service/ServiceHosting.h"

#include "operation/Context.h"
#include "service/AutomaticProcessing.h"
#include "service/ServiceCommands.h"
#include "service/WatchProcessing.h"
#include "settings/ConfigFile.h"
#include "settings/JobSettings.h"

#include <ctime>

namespace qm {

namespace {

std::string LocalText(std::chrono::system_clock::time_point at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr)
        return "?";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string RunStatusLine(std::chrono::system_clock::time_point ranAt, int converted, int failed,
                          int documents, std::chrono::system_clock::time_point nextRun,
                          int foldersWatched) {
    std::string line =
        "Last run " + LocalText(ranAt) + ": " + Count(converted, "index file", "index files") +
        " converted, " + std::to_string(failed) + " failed, " +
        Count(documents, "document", "documents") + "; next run " + LocalText(nextRun);
    if (foldersWatched > 0)
        line += "; watching " + Count(foldersWatched, "folder", "folders");
    return line;
}

ServiceHosting::ServiceHosting(Context& context, ServiceControl& control,
                               AutomaticProcessing& automatic, WatchProcessing* watch,
                               std::string commandLineJob)
    : context_(context), control_(control), automatic_(automatic), watch_(watch),
      commandLineJob_(std::move(commandLineJob)) {}

std::string ServiceHosting::jobFile() {
    return commandLineJob_.empty() ? control_.GetSetting("Quillmarch", "ConfigFile", "")
                                   : commandLineJob_;
}

void ServiceHosting::startWatching() {
    // Watch mode from the command line always watches; the service when it was installed so.
    watching_ = watch_ != nullptr && (!commandLineJob_.empty() ||
                                      control_.GetSetting("Quillmarch", "Watch", "") == "yes");
    if (watching_)
        watch_->start();
    else if (watch_)
        watch_->stop();
}

void ServiceHosting::Start(bool& Success) {
    RunOperation(context_.reporter, "Start Service", [&] {
        const std::string configFile = jobFile();
        context_.job.setText(TextField::CurrentConfigFile, configFile);
        if (configFile.empty()) {
            context_.log.WriteLog("No Config File Specified");
            return;
        }
        // The command line has loaded its job already, its switches applied after it.
        if (commandLineJob_.empty())
            OpenConfig(context_, configFile);
        automatic_.startForService();
        startWatching();
        Success = true;
        context_.log.WriteLog("Service Started");
        std::string status =
            "Started; first run in " + Count(automatic_.countdown() + 1, "second", "seconds");
        if (watching_)
            status += "; watching " + Count(watch_->foldersWatched(), "folder", "folders");
        control_.ReportStatus(status);
    });
}

void ServiceHosting::Stop() {
    // The stop must happen whatever becomes of its log line.
    AttemptIgnoringFailure([&] { context_.log.WriteLog("Stopping Service"); });
    automatic_.stop();
    context_.process.stopRequested = true;
}

void ServiceHosting::Timer() {
    const auto runs = automatic_.runCount();
    automatic_.tick();
    const bool timerRan = automatic_.runCount() != runs;
    // A failure of the watch (its debug log line) is reported; the service goes on.
    if (watching_)
        RunOperation(context_.reporter, "Watch Index Folders", [&] {
            if (timerRan)
                watch_->rewatch();
            watch_->tick();
        });
    if (automatic_.runCount() != runs)
        reportRun();
}

void ServiceHosting::reportRun() {
    const RunSummary& run = automatic_.lastRun();
    // Every tick is a second, and the run after the countdown's last tick.
    const auto next =
        std::chrono::system_clock::now() + std::chrono::seconds(automatic_.countdown() + 1);
    control_.ReportStatus(RunStatusLine(automatic_.lastRunAt(), run.converted, run.failed,
                                        run.documents, next,
                                        watching_ ? watch_->foldersWatched() : 0));
}

void ServiceHosting::Reload() {
    RunOperation(context_.reporter, "Reload Service", [&] {
        context_.log.WriteLog("Reloading Service");
        const std::string configFile = jobFile();
        context_.job.setText(TextField::CurrentConfigFile, configFile);
        if (!configFile.empty())
            OpenConfig(context_, configFile);
        startWatching();
        control_.ReportStatus("Reloaded " + configFile);
    });
}

bool RunAsService(Context& context, ServiceControl& control, AutomaticProcessing& automatic,
                  WatchProcessing* watch, std::string commandLineJob) {
    control.ServiceName = ServiceName;
    control.DisplayName = ServiceName;
    ServiceHosting hosting(context, control, automatic, watch, std::move(commandLineJob));
    return control.StartService(hosting);
}

} // namespace qm
