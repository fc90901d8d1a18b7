#pragma once

#include "platform/Host.h"

namespace qm {

class ServiceControl;

// What stands in for the person at the screen while the program runs as the service: nobody.
// Every box goes to the event log (a question with the answer it got), every question gets
// its unattended answer, file dialogs are cancelled, and pending events are the service
// manager's, so a stop request reaches a run while it converts.
class ServiceHost : public Host {
public:
    explicit ServiceHost(ServiceControl& control) : control_(control) {}

    Answer showMessage(const MessageBox& box) override;
    std::optional<std::string> showFileDialog(const FileDialog& dialog) override;
    void setStatus(int panel, std::string_view text) override;
    void pumpEvents() override;
    void setClipboard(std::string_view text) override;

private:
    ServiceControl& control_;
};

} // namespace qm
