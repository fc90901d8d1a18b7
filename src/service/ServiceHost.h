#pragma once

#include "platform/Host.h"

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

namespace qm {

class ServiceControl;

// What stands in for the person at the screen while the program runs as the service: nobody.
// Every box goes to the event log (a question with the answer it got), every question gets
// its unattended answer, file dialogs are cancelled, and pending events are the service
// manager's, so a stop request reaches a run while it converts. The conversion's progress
// becomes the service's status line, at most once per StatusInterval.
class ServiceHost : public Host {
public:
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::seconds StatusInterval{1};

    // `echo`, when given, also gets every box as "Title: text" (watch mode in a terminal).
    explicit ServiceHost(
        ServiceControl& control, std::ostream* echo = nullptr,
        SteadyClock now = [] { return std::chrono::steady_clock::now(); })
        : control_(control), echo_(echo), now_(std::move(now)) {}

    Answer showMessage(const MessageBox& box) override;
    std::optional<std::string> showFileDialog(const FileDialog& dialog) override;
    void setStatus(int panel, std::string_view text) override;
    void pumpEvents() override;
    void setClipboard(std::string_view text) override;

private:
    void reportProgress();

    ServiceControl& control_;
    std::ostream* echo_;
    SteadyClock now_;
    std::string file_; // the index file being converted; "" between files
    int documents_ = 0;
    std::chrono::steady_clock::time_point lastStatus_{};
};

} // namespace qm
