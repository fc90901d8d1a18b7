#pragma once

#include "platform/ServiceControl.h"

#include <chrono>
#include <string>

namespace qm {

struct Context;
class AutomaticProcessing;
class WatchProcessing;

// The service's answers to the service manager's events: Start loads the stored
// configuration file and starts the timer (and the folder watch when the service was
// installed with it), Timer ticks them, Reload reads the job again, Stop ends the timer and
// asks a run in progress to finish the file at hand. After each run the service manager is
// told what it did.
class ServiceHosting : public ServiceEvents {
public:
    // `watch`: how watch mode works, when it may be used. `commandLineJob`: watch mode run
    // from the command line, whose job is the file named there and not the stored one.
    ServiceHosting(Context& context, ServiceControl& control, AutomaticProcessing& automatic,
                   WatchProcessing* watch = nullptr, std::string commandLineJob = {});

    void Start(bool& Success) override;
    void Stop() override;
    void Timer() override;
    void Reload() override;

private:
    std::string jobFile();
    void startWatching();
    void reportRun();

    Context& context_;
    ServiceControl& control_;
    AutomaticProcessing& automatic_;
    WatchProcessing* watch_;
    std::string commandLineJob_;
    bool watching_ = false;
};

// The service's status line after a run: when it ran and what it did, and when the next run
// of the timer is due.
std::string RunStatusLine(std::chrono::system_clock::time_point ranAt, int converted, int failed,
                          int documents, std::chrono::system_clock::time_point nextRun,
                          int foldersWatched);

// The service road of start-up: names the service and hands the program to the service
// manager. Returns whether the service started (and has now stopped).
bool RunAsService(Context& context, ServiceControl& control, AutomaticProcessing& automatic,
                  WatchProcessing* watch = nullptr, std::string commandLineJob = {});

} // namespace qm
