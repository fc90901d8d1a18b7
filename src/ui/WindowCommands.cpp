#include "ui/WindowCommands.h"

#include "operation/Context.h"
#include "operation/ErrorReporter.h"
#include "platform/Error.h"
#include "platform/ServiceControl.h"
#include "service/AutomaticProcessing.h"
#include "service/ServiceCommands.h"
#include "settings/ConfigFile.h"
#include "ui/MenuTree.h"

#include <memory>
#include <optional>

namespace qm::ui {

namespace {

// Shows the browse dialog and returns the name it holds afterwards: the chosen one, or the
// preset one when it was cancelled or failed.
std::string Browse(Context& context, FileDialogKind kind, const char* filter, std::string preset,
                   const char* title) {
    FileDialog dialog{kind, filter, 1, std::move(preset), title};
    std::optional<std::string> chosen;
    AttemptIgnoringFailure([&] { chosen = context.host.showFileDialog(dialog); });
    return chosen.value_or(dialog.startName);
}

// Runs `action` on a fresh control of the service manager, as the operation `name`.
template <class Action>
void WithServiceControl(Context& context, const ServiceAccess& access, const char* name,
                        Action&& action) {
    std::unique_ptr<ServiceControl> control;
    if (!RunOperation(context.reporter, name, [&] {
            control = access.makeControl ? access.makeControl() : nullptr;
            if (!control)
                throw Error(errnum::InternalError, "Quillmarch", "No service manager");
        }))
        return;
    action(*control);
}

} // namespace

void BrowseIndexFile(Context& context) {
    std::string preset;
    AttemptIgnoringFailure([&] { preset = context.job.text(TextField::IndexFile); });
    const std::string name = Browse(context, FileDialogKind::Open,
                                    "Brackenfold Index File (*.idx)|*.idx|Text Files (*.txt)|*.txt|"
                                    "CSV Files (*.csv)|*.csv| All Files (*.*)|*.*",
                                    preset, "Select Index File");
    AttemptIgnoringFailure([&] { context.job.setText(TextField::IndexFile, name); });
}

void BrowseBifFile(Context& context) {
    std::string preset;
    AttemptIgnoringFailure([&] { preset = context.job.text(TextField::BIFFile); });
    const std::string name =
        Browse(context, FileDialogKind::Save, "BIF Files (*.bif)|*.bif|All Files (*.*)|*.*", preset,
               "Select BIF Output File");
    AttemptIgnoringFailure([&] { context.job.setText(TextField::BIFFile, name); });
}

void BrowseImageFolder(Context& context) {
    std::string preset;
    AttemptIgnoringFailure([&] {
        const std::string& folder = context.job.text(TextField::ImageFolder);
        preset = (folder.empty() ? context.tools.GetFPath(context.job.text(TextField::IndexFile))
                                 : folder) +
                 "\\Select Folder";
    });
    const std::string name =
        Browse(context, FileDialogKind::Open, "All Files (*.*)|*.*", preset, "Select Input Folder");
    AttemptIgnoringFailure(
        [&] { context.job.setText(TextField::ImageFolder, context.tools.GetFPath(name)); });
}

void NewJob(Context& context) {
    context.job.setText(TextField::CurrentConfigFile, "");
    context.job.LoadDefaults();
}

void ToggleFlag(Context& context, MenuField flag) {
    // Debug mode is the record's flag, read by the debug log at each line.
    context.job.setFlag(flag, !context.job.flag(flag));
}

void ViewManual(Context& context, const std::string& manualFolder) {
    const std::string manual = manualFolder + "/QMManual.pdf";
    try {
        context.tools.StartDoc(manual);
    } catch (const Error& e) {
        // Without a viewer (or without the file) nothing else would show that the command was
        // chosen; the path lets the user open the manual some other way.
        AttemptIgnoringFailure([&] {
            context.host.showMessage({"The manual could not be opened.\n\n" + e.description() +
                                          "\n\nThe manual is the PDF file " + manual + ".",
                                      "Quillmarch", Buttons::Ok, Icon::Exclamation});
        });
    }
}

void OpenWebPage(Context& context) {
    AttemptIgnoringFailure([&] { context.tools.StartDoc(WebPageAddress); });
}

AutomationCallbacks MakeAutomationCallbacks(Context& context, AutomaticProcessing& automatic,
                                            ServiceAccess access) {
    auto shared = std::make_shared<ServiceAccess>(std::move(access));
    return {
        [&automatic] { automatic.start(); },
        [&automatic] { automatic.stop(); },
        [&context, shared] {
            WithServiceControl(context, *shared, "Install Service", [&](ServiceControl& control) {
                InstallService(context, control, shared->executablePath);
            });
        },
        [&context, shared] {
            WithServiceControl(context, *shared, "Remove Service",
                               [&](ServiceControl& control) { RemoveService(context, control); });
        },
        [&automatic] { automatic.tick(); },
        [&automatic] { return automatic.timerEnabled(); },
    };
}

} // namespace qm::ui
