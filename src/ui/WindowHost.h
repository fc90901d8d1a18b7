#pragma once

#include "platform/Host.h"

#include <QPointer>
#include <array>
#include <chrono>
#include <functional>
#include <string>

class QLabel;
class QWidget;

namespace qm::ui {

// The host of the window: modal message boxes and file dialogs over the main window, the
// two panels of its status bar, the desktop's clipboard. Text crosses into the toolkit as
// local 8-bit and back.
class WindowHost : public Host {
public:
    using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;
    // Turns a path of the system's text into one the dialog can show (drives mapped, "\" to
    // "/"); may raise, and then the dialog starts in the working folder.
    using HostPath = std::function<std::string(const std::string&)>;

    // The clock of the event rounds; by default the coarse monotonic one (see CoarseNow).
    explicit WindowHost(HostPath hostPath = {}, SteadyNow now = &CoarseNow);

    // The window the boxes belong to and its two status panels; until then boxes have no
    // parent and the panel texts are only kept.
    void attach(QWidget* window, QLabel* panel1, QLabel* panel2);

    Answer showMessage(const MessageBox& box) override;
    std::optional<std::string> showFileDialog(const FileDialog& dialog) override;
    void setStatus(int panel, std::string_view text) override;
    void pumpEvents() override;
    void setClipboard(std::string_view text) override;

    // The least time between two rounds of event handling during a conversion: often enough
    // for the window to answer at once, rarely enough to cost the conversion nothing. The
    // clock is read after every line, so a window whose lines are slow (images moved across
    // disks) answers within this interval and one line too.
    static constexpr std::chrono::milliseconds PumpInterval{50};

    // The monotonic clock at the resolution of the system's tick (1 to 4 ms): read in a few
    // nanoseconds where the precise clock can take fifty (the clock source of a virtual
    // machine), which after every line of a fast conversion costs several per cent.
    static std::chrono::steady_clock::time_point CoarseNow();

    // Shows the kept panel texts now.
    void showStatus();

private:
    HostPath hostPath_;
    SteadyNow now_;
    QPointer<QWidget> window_;
    std::array<QPointer<QLabel>, 2> panels_;
    std::array<std::string, 2> status_;
    std::array<bool, 2> statusChanged_{};
    std::chrono::steady_clock::time_point lastPump_{};
};

} // namespace qm::ui
