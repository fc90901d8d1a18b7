#include "check/UnattendedHost.h"

namespace qm {

UnattendedHost::UnattendedHost(std::unique_ptr<Host> shown) : shown_(std::move(shown)) {}

Answer UnattendedHost::showMessage(const MessageBox& box) {
    MessageBox notice = box;
    notice.buttons = Buttons::Ok;
    if (shown_)
        shown_->showMessage(notice);
    return UnattendedAnswer(box.buttons);
}

std::optional<std::string> UnattendedHost::showFileDialog(const FileDialog&) {
    return std::nullopt;
}

void UnattendedHost::setStatus(int, std::string_view) {}

void UnattendedHost::pumpEvents() {}

void UnattendedHost::setClipboard(std::string_view) {}

} // namespace qm
