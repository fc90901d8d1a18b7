#pragma once

#include "settings/JobSettings.h"

#include <functional>
#include <memory>
#include <string>

namespace qm {
struct Context;
class AutomaticProcessing;
class ServiceControl;
} // namespace qm

namespace qm::ui {

// The commands of the menus and buttons that act on the job, in standard C++ so that they
// run the same behind the window and in a test.

// Every step is attempted and nothing is reported; the last step runs however the dialog
// closed, with the preset name when it was cancelled.
void BrowseIndexFile(Context& context);
void BrowseBifFile(Context& context);
void BrowseImageFolder(Context& context);

void NewJob(Context& context);
void ToggleFlag(Context& context, MenuField flag);

// Opens the manual in its folder (beside the executable, or an installed program's data
// folder), or the maker's web page; a failure to open is not reported.
void ViewManual(Context& context, const std::string& manualFolder);
void OpenWebPage(Context& context);

// What the automatic processing and service entries and the job timer call: callbacks into
// the subsystem that does the work.
struct AutomationCallbacks {
    std::function<void()> startAutomatic;
    std::function<void()> stopAutomatic;
    std::function<void()> installService;
    std::function<void()> removeService;
    // Called every second while the window's job timer runs.
    std::function<void()> timerTick;
    // Whether automatic processing is on, so that the window's job timer runs.
    std::function<bool()> timerOn;
};

// How the window reaches the service manager: a control made when a command needs one, and
// the program the service is to start.
struct ServiceAccess {
    std::function<std::unique_ptr<ServiceControl>()> makeControl;
    std::string executablePath;
};

// The four commands and the tick, on `automatic` and the service manager that `access` makes.
// A machine without a service manager reports that under the command's name.
AutomationCallbacks MakeAutomationCallbacks(Context& context, AutomaticProcessing& automatic,
                                            ServiceAccess access);

} // namespace qm::ui
