#include "service/ServiceHosting.h"

#include "operation/Context.h"
#include "service/AutomaticProcessing.h"
#include "service/ServiceCommands.h"
#include "settings/ConfigFile.h"
#include "settings/JobSettings.h"

namespace qm {

ServiceHosting::ServiceHosting(Context& context, ServiceControl& control,
                               AutomaticProcessing& automatic)
    : context_(context), control_(control), automatic_(automatic) {}

void ServiceHosting::Start(bool& Success) {
    RunOperation(context_.reporter, "Start Service", [&] {
        const std::string configFile = control_.GetSetting("Quillmarch", "ConfigFile", "");
        context_.job.setText(TextField::CurrentConfigFile, configFile);
        if (configFile.empty()) {
            context_.log.WriteLog("No Config File Specified");
            return;
        }
        OpenConfig(context_, configFile);
        automatic_.StartForService();
        Success = true;
        context_.log.WriteLog("Service Started");
    });
}

void ServiceHosting::Stop() {
    // The stop must happen whatever becomes of its log line.
    AttemptIgnoringFailure([&] { context_.log.WriteLog("Stopping Service"); });
    automatic_.Stop();
    context_.process.stopRequested = true;
}

void ServiceHosting::Timer() {
    automatic_.TimerJob_Timer();
}

bool RunAsService(Context& context, ServiceControl& control, AutomaticProcessing& automatic) {
    control.ServiceName = ServiceName;
    control.DisplayName = ServiceName;
    ServiceHosting hosting(context, control, automatic);
    return control.StartService(hosting);
}

} // namespace qm
