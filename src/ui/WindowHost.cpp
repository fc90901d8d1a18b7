#include "ui/WindowHost.h"

#include "platform/posix/ConsoleHost.h"
#include "ui/FileFilter.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <time.h>

namespace qm::ui {

namespace {

QString Local(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QMessageBox::Icon BoxIcon(Icon icon) {
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

WindowHost::WindowHost(HostPath hostPath, SteadyNow now)
    : hostPath_(std::move(hostPath)), now_(std::move(now)) {}

void WindowHost::attach(QWidget* window, QLabel* panel1, QLabel* panel2) {
    window_ = window;
    panels_ = {panel1, panel2};
    showStatus();
}

Answer WindowHost::showMessage(const MessageBox& box) {
    showStatus();
    QMessageBox message(BoxIcon(box.icon), Local(box.title.empty() ? "Quillmarch" : box.title),
                        Local(ConsoleText(box.text)), QMessageBox::NoButton, window_.data());
    message.setTextFormat(Qt::PlainText);
    struct Choice {
        QMessageBox::StandardButton button;
        Answer answer;
    };
    std::vector<Choice> choices;
    switch (box.buttons) {
    case Buttons::Ok:
        choices = {{QMessageBox::Ok, Answer::Ok}};
        break;
    case Buttons::YesNo:
        choices = {{QMessageBox::Yes, Answer::Yes}, {QMessageBox::No, Answer::No}};
        break;
    case Buttons::YesNoCancel:
        choices = {{QMessageBox::Yes, Answer::Yes},
                   {QMessageBox::No, Answer::No},
                   {QMessageBox::Cancel, Answer::Cancel}};
        break;
    }
    for (const Choice& choice : choices)
        message.addButton(choice.button);
    message.setDefaultButton(choices.front().button);
    const auto clicked = message.exec();
    for (const Choice& choice : choices) {
        if (clicked == choice.button)
            return choice.answer;
    }
    // Closed without a button (Escape, the close box): the unattended answer.
    return UnattendedAnswer(box.buttons);
}

std::optional<std::string> WindowHost::showFileDialog(const FileDialog& dialog) {
    showStatus();
    QFileDialog fileDialog(window_.data(), Local(dialog.title));
    fileDialog.setOption(QFileDialog::DontUseNativeDialog);
    // As the system's common dialog: any name may be given and confirmed, also one that does
    // not exist yet; the caller decides what a missing file means.
    fileDialog.setFileMode(QFileDialog::AnyFile);
    fileDialog.setAcceptMode(dialog.kind == FileDialogKind::Save ? QFileDialog::AcceptSave
                                                                 : QFileDialog::AcceptOpen);
    QStringList filters;
    for (const std::string& filter : NameFilters(dialog.filter))
        filters << Local(filter);
    if (!filters.isEmpty()) {
        fileDialog.setNameFilters(filters);
        if (dialog.filterIndex >= 1 && dialog.filterIndex <= filters.size())
            fileDialog.selectNameFilter(filters[dialog.filterIndex - 1]);
    }
    std::string start = dialog.startName;
    if (hostPath_ && !start.empty()) {
        try {
            start = hostPath_(start);
        } catch (...) {
            start.clear();
        }
    }
    for (char& c : start) {
        if (c == '\\')
            c = '/';
    }
    const std::size_t cut = start.rfind('/');
    const std::string folder = cut == std::string::npos ? "" : start.substr(0, cut + 1);
    const std::string name = cut == std::string::npos ? start : start.substr(cut + 1);
    if (!folder.empty())
        fileDialog.setDirectory(Local(folder));
    // A wildcard name only says which files to show; the filter does that already.
    if (!name.empty() && name.find_first_of("*?") == std::string::npos)
        fileDialog.selectFile(Local(name));
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty())
        return std::nullopt;
    return Local(fileDialog.selectedFiles().front());
}

void WindowHost::setStatus(int panel, std::string_view text) {
    if (panel < 1 || panel > 2)
        return;
    std::string& kept = status_[panel - 1];
    if (kept == text)
        return;
    kept.assign(text);
    statusChanged_[panel - 1] = true;
    // An emptied panel ends a conversion: no pump may follow to show it.
    if (text.empty())
        showStatus();
}

void WindowHost::showStatus() {
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        if (statusChanged_[i] && panels_[i]) {
            panels_[i]->setText(Local(status_[i]));
            statusChanged_[i] = false;
        }
    }
}

std::chrono::steady_clock::time_point WindowHost::CoarseNow() {
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now{};
    if (::clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0)
        return std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec)));
#endif
    return std::chrono::steady_clock::now();
}

void WindowHost::pumpEvents() {
    const auto now = now_();
    if (now - lastPump_ < PumpInterval)
        return;
    lastPump_ = now;
    showStatus();
    QApplication::processEvents();
}

void WindowHost::setClipboard(std::string_view text) {
    if (QClipboard* clipboard = QApplication::clipboard())
        clipboard->setText(Local(text));
}

} // namespace qm::ui
