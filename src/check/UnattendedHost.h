#pragma once

#include "platform/Host.h"

#include <memory>

namespace qm {

// The host of a check: nobody is asked anything. Notices go to the host it wraps; a
// question is shown there as a notice and takes the unattended answer (Cancel where
// offered, else No); file dialogs are cancelled. No status, no clipboard.
class UnattendedHost : public Host {
public:
    explicit UnattendedHost(std::unique_ptr<Host> shown);

    Answer showMessage(const MessageBox& box) override;
    std::optional<std::string> showFileDialog(const FileDialog& dialog) override;
    void setStatus(int panel, std::string_view text) override;
    void pumpEvents() override;
    void setClipboard(std::string_view text) override;

private:
    std::unique_ptr<Host> shown_;
};

} // namespace qm
