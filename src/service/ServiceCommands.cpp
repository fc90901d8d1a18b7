#include "service/ServiceCommands.h"

#include "operation/Context.h"
#include "platform/ServiceControl.h"
#include "settings/JobSettings.h"

#include <algorithm>

namespace qm {

namespace {

constexpr std::int32_t StartsWithTheSystem = 2;
constexpr std::int32_t AcceptsStopOnly = 1;

void Tell(Context& context, const std::string& text) {
    context.host.showMessage({text, "Quillmarch", Buttons::Ok, Icon::None});
}

void NameTheService(ServiceControl& control) {
    control.ServiceName = ServiceName;
    control.DisplayName = ServiceName;
}

} // namespace

std::string ServiceCommandLine(const std::string& executablePath, bool debugMode) {
    std::string line;
    if (executablePath.find_first_of(" \t") == std::string::npos) {
        line = executablePath;
    } else {
        line = "\"";
        for (const char c : executablePath) {
            if (c == '"' || c == '\\')
                line += '\\';
            line += c;
        }
        line += '"';
    }
    line += " /v";
    if (debugMode)
        line += " /b";
    return line;
}

std::vector<std::string> JobWritableFolders(Context& context) {
    const JobSettings& job = context.job;
    std::vector<std::string> paths = {job.text(TextField::CurrentConfigFile),
                                      job.text(TextField::BIFFile), context.log.path()};
    std::vector<std::string> folders;
    const auto add = [&](std::string folder) {
        if (folder.empty())
            folder = ".";
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(std::move(folder));
    };
    for (const std::string& path : paths)
        add(context.tools.GetFPath(path));
    const std::string& indexFile = job.text(TextField::IndexFile);
    std::string::size_type start = 0;
    while (start <= indexFile.size() && !indexFile.empty()) {
        const auto bar = indexFile.find('|', start);
        add(context.tools.GetFPath(indexFile.substr(start, bar - start)));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    if (!job.text(TextField::ImageFolder).empty())
        add(job.text(TextField::ImageFolder));
    return folders;
}

bool InstallService(Context& context, ServiceControl& control, const std::string& executablePath,
                    bool watch) {
    bool installed = false;
    RunOperation(context.reporter, "Install Service", [&] {
        const std::string configFile = context.job.text(TextField::CurrentConfigFile);
        if (configFile.empty()) {
            Tell(context, "Please open a configuration file before installing the service.");
            return;
        }
        control.ServiceName = ServiceName;
        control.StartMode = StartsWithTheSystem;
        control.DisplayName = ServiceName;
        control.ControlsAccepted = AcceptsStopOnly;
        control.Interactive = true;
        control.WritableFolders = JobWritableFolders(context);
        if (!control.Install()) {
            Tell(context, "Cannot install service.  Service may already be installed.");
            return;
        }
        control.SaveSetting(
            "", "ImagePath",
            ServiceCommandLine(executablePath, context.job.flag(MenuField::DebugMode)));
        control.SaveSetting("Quillmarch", "ConfigFile", configFile);
        if (watch)
            control.SaveSetting("Quillmarch", "Watch", "yes");
        Tell(context, "Service installed successfully!");
        installed = true;
    });
    return installed;
}

bool RemoveService(Context& context, ServiceControl& control) {
    bool removed = false;
    RunOperation(context.reporter, "Remove Service", [&] {
        NameTheService(control);
        if (!control.Uninstall()) {
            Tell(context, "Cannot remove service.  Service may not be installed.");
            return;
        }
        Tell(context, "Quillmarch service has been removed.");
        removed = true;
    });
    return removed;
}

} // namespace qm
