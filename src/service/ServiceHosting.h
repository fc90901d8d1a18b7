#pragma once

#include "platform/ServiceControl.h"

namespace qm {

struct Context;
class AutomaticProcessing;

// The service's answers to the service manager's events: Start loads the stored
// configuration file and starts the timer, Timer ticks it, Stop ends the timer and asks a run
// in progress to finish the file at hand.
class ServiceHosting : public ServiceEvents {
public:
    ServiceHosting(Context& context, ServiceControl& control, AutomaticProcessing& automatic);

    void Start(bool& Success) override;
    void Stop() override;
    void Timer() override;

private:
    Context& context_;
    ServiceControl& control_;
    AutomaticProcessing& automatic_;
};

// The service road of start-up: names the service and hands the program to the service
// manager. Returns whether the service started (and has now stopped).
bool RunAsService(Context& context, ServiceControl& control, AutomaticProcessing& automatic);

} // namespace qm
