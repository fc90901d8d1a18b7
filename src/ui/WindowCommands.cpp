#include "ui/WindowCommands.h"

#include "operation/Context.h"
#include "operation/ErrorReporter.h"
#include "settings/ConfigFile.h"
#include "ui/MenuTree.h"

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

void Notice(Context& context, const char* feature) {
    context.host.showMessage(
        {std::string(feature) + " is not available yet in this version of Quillmarch.",
         "Quillmarch", Buttons::Ok, Icon::Information});
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

void ViewManual(Context& context, const std::string& executableFolder) {
    AttemptIgnoringFailure([&] { context.tools.StartDoc(executableFolder + "/QMManual.pdf"); });
}

void OpenWebPage(Context& context) {
    AttemptIgnoringFailure([&] { context.tools.StartDoc(WebPageAddress); });
}

ServiceCommands NotAvailableServiceCommands(Context& context) {
    return {
        [&context] { Notice(context, "Automatic processing"); },
        [&context] { Notice(context, "Automatic processing"); },
        [&context] { Notice(context, "Installing the service"); },
        [&context] { Notice(context, "Removing the service"); },
        {},
    };
}

} // namespace qm::ui
