#include "ui/WindowProgram.h"

#include "ui/fQuillmarch.h"

#include <QApplication>

namespace qm::ui {

namespace {

// The toolkit keeps references to these for the life of the application.
int applicationArgc = 1;
char applicationName[] = "quillmarch";
char* applicationArgv[] = {applicationName, nullptr};

} // namespace

WindowProgram::WindowProgram(SettingsStore& store, std::string manualFolder,
                             WindowHost::HostPath hostPath, ServiceAccess serviceAccess)
    : store_(store), manualFolder_(std::move(manualFolder)), host_(std::move(hostPath)),
      serviceAccess_(std::move(serviceAccess)) {
    if (!QApplication::instance())
        application_ = std::make_unique<QApplication>(applicationArgc, applicationArgv);
}

WindowProgram::~WindowProgram() = default;

void WindowProgram::load(Context& context) {
    window_ = std::make_unique<fQuillmarch>(context, store_, manualFolder_, serviceAccess_);
    host_.attach(window_.get(), window_->statusPanel(1), window_->statusPanel(2));
    window_->Load();
}

void WindowProgram::show() {
    if (!window_)
        return;
    window_->show();
    // Painted before a job starts, which handles events only every few tens of milliseconds.
    QApplication::processEvents();
}

void WindowProgram::runUntilClosed() {
    if (window_ && window_->isVisible())
        QApplication::exec();
}

void WindowProgram::close() {
    if (window_)
        window_->close();
}

} // namespace qm::ui
