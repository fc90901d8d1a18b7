#pragma once

#include "startup/ProgramWindow.h"
#include "ui/WindowCommands.h"
#include "ui/WindowHost.h"

#include <memory>
#include <string>

class QApplication;

namespace qm {
class SettingsStore;
}

namespace qm::ui {

class fQuillmarch;

// The window as start-up drives it: the toolkit's application (made when the process has
// none yet), the window host and, once loaded, the main window. Making it throws
// std::runtime_error when no window system starts; the process never aborts for that.
class WindowProgram : public ProgramWindow {
public:
    WindowProgram(SettingsStore& store, std::string manualFolder,
                  WindowHost::HostPath hostPath = {}, ServiceAccess serviceAccess = {});
    ~WindowProgram() override;

    WindowProgram(const WindowProgram&) = delete;
    WindowProgram& operator=(const WindowProgram&) = delete;

    Host& host() override { return host_; }
    void load(Context& context) override;
    void show() override;
    void runUntilClosed() override;
    void close() override;

    // Null before load().
    fQuillmarch* window() const { return window_.get(); }

private:
    std::unique_ptr<QApplication> application_;
    SettingsStore& store_;
    std::string manualFolder_;
    WindowHost host_;
    ServiceAccess serviceAccess_;
    std::unique_ptr<fQuillmarch> window_;
};

} // namespace qm::ui
