#include "ui/WindowProgram.h"

#include "ui/fQuillmarch.h"

#include <QApplication>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace qm::ui {

namespace {

// The toolkit keeps references to these for the life of the application.
int applicationArgc = 1;
char applicationName[] = "quillmarch";
char* applicationArgv[] = {applicationName, nullptr};

// Qt ends the process (SIGABRT, status 134) when no platform of its list starts, so the list
// the toolkit gets always ends in one that starts everywhere; a window that came up there
// means the real window system could not start.
constexpr char Fallback[] = "offscreen";

// An X server started without -noreset (Xvfb, xvfb-run) resets when its last client leaves
// and drops the connections made while it resets: a window started right after another one
// closed may find the display gone for a moment. Measured with a bare xcb client on Xvfb:
// about 1 in 3 back-to-back connections failed, none with -noreset or with another client
// holding the server. A few tries a moment apart ride over such a reset.
constexpr int Attempts = 3;
constexpr auto BetweenAttempts = std::chrono::milliseconds(300);

// The platforms the toolkit would try: QT_QPA_PLATFORM, else Wayland (when its display is
// named) and X11.
QByteArray RequestedPlatforms() {
    const QByteArray named = qgetenv("QT_QPA_PLATFORM");
    if (!named.isEmpty())
        return named;
    return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb" : "wayland;xcb";
}

bool NamesFallback(const QByteArray& platforms) {
    for (const QByteArray& entry : platforms.split(';'))
        if (entry.split(':').front().trimmed().toLower() == Fallback)
            return true;
    return false;
}

std::unique_ptr<QApplication> StartApplication() {
    const QByteArray requested = RequestedPlatforms();
    if (NamesFallback(requested))
        return std::make_unique<QApplication>(applicationArgc, applicationArgv);
    const bool wasSet = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    const QByteArray previous = qgetenv("QT_QPA_PLATFORM");
    qputenv("QT_QPA_PLATFORM", requested + ';' + Fallback);
    // Programs started later (the PDF viewer) see the environment as it was.
    const auto restore = [&] {
        if (wasSet)
            qputenv("QT_QPA_PLATFORM", previous);
        else
            qunsetenv("QT_QPA_PLATFORM");
    };
    for (int attempt = 1;; ++attempt) {
        auto application = std::make_unique<QApplication>(applicationArgc, applicationArgv);
        if (QGuiApplication::platformName() != Fallback) {
            restore();
            return application;
        }
        application.reset();
        if (attempt == Attempts) {
            restore();
            throw std::runtime_error("the window system (" + requested.toStdString() +
                                     ") could not be started, " + std::to_string(Attempts) +
                                     " tries");
        }
        std::this_thread::sleep_for(BetweenAttempts);
    }
}

} // namespace

WindowProgram::WindowProgram(SettingsStore& store, std::string manualFolder,
                             WindowHost::HostPath hostPath, ServiceAccess serviceAccess)
    : store_(store), manualFolder_(std::move(manualFolder)), host_(std::move(hostPath)),
      serviceAccess_(std::move(serviceAccess)) {
    if (!QApplication::instance())
        application_ = StartApplication();
}

WindowProgram::~WindowProgram() = default;

void WindowProgram::load(Context& context) {
    window_ = std::make_unique<fQuillmarch>(context, store_, manualFolder_, serviceAccess_);
    host_.attach(window_.get(), window_->statusPanel(1), window_->statusPanel(2));
    window_->load();
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
