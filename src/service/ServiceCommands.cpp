#include "service/ServiceCommands.h"

#include "operation/Context.h"
#include "platform/ServiceControl.h"
#include "platform/SwitchLetters.h"
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
    line += switchletter::Appended(switchletter::ServiceMode);
    if (debugMode)
        line += switchletter::Appended(switchletter::DebugMode);
    return line;
}

std::vector<JobFolder> JobFolders(Context& context) {
    const JobSettings& job = context.job;
    const bool moving = IsTicked(job.check(CheckField::MoveFiles));
    const std::string& imageFolder = job.text(TextField::ImageFolder);
    std::vector<JobFolder> folders;
    const auto add = [&](std::string folder, const char* role, bool written) {
        if (folder.empty())
            folder = ".";
        const auto same = std::find_if(folders.begin(), folders.end(),
                                       [&](const JobFolder& f) { return f.path == folder; });
        if (same == folders.end())
            folders.push_back({std::move(folder), role, written});
        else if (written && !same->written)
            *same = JobFolder{same->path, role, true};
    };
    add(context.tools.GetFPath(job.text(TextField::CurrentConfigFile)), "the job file's folder",
        true);
    add(context.tools.GetFPath(job.text(TextField::BIFFile)), "the BIF folder", true);
    // Without an image folder, relative image paths are found beside the index file.
    const bool indexWritten =
        job.flag(MenuField::RemoveProcessed) || (moving && imageFolder.empty());
    const std::string& indexFile = job.text(TextField::IndexFile);
    std::string::size_type start = 0;
    while (start <= indexFile.size() && !indexFile.empty()) {
        const auto bar = indexFile.find('|', start);
        add(context.tools.GetFPath(indexFile.substr(start, bar - start)), "the index folder",
            indexWritten);
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    if (!imageFolder.empty())
        add(imageFolder, "the image folder", moving);
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
        control.JobFolders = JobFolders(context);
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
