#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qm {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Icon { None, Information, Exclamation, Question };
enum class Answer { Ok, Yes, No, Cancel };

// The answer given when nobody can be asked: Cancel where offered, else No, else Ok. Nothing
// is overwritten, nothing is guessed, and the failure is reported.
Answer UnattendedAnswer(Buttons buttons);

// "Yes", "No", "Cancel" or "OK", as a log line or a prompt names the answer.
const char* AnswerName(Answer answer);

// One modal message box: a notice (Buttons::Ok) or a question.
struct MessageBox {
    std::string text;
    std::string title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
};

enum class FileDialogKind { Open, Save };

// A file dialog; `filter` is "Caption|pattern|Caption|pattern...".
struct FileDialog {
    FileDialogKind kind = FileDialogKind::Open;
    std::string filter;
    int filterIndex = 1;
    std::string startName;
    std::string title{}; // "" leaves the host's own title
};

// What a person sees and answers. The window, the console and the service each implement
// it; the core never shows anything any other way.
class Host {
public:
    virtual ~Host() = default;

    // Shows the box and returns the button chosen. A host where nobody can answer returns
    // the unattended answer (Cancel where offered, else No, else Ok).
    virtual Answer showMessage(const MessageBox& box) = 0;

    // The chosen path, or nothing when the dialog was cancelled.
    virtual std::optional<std::string> showFileDialog(const FileDialog& dialog) = 0;

    // Status panel 1 names the index file being converted, panel 2 the current document's
    // image path. Called for every document: a host keeps the text and shows it when it
    // next repaints, so this must stay cheap.
    virtual void setStatus(int panel, std::string_view text) = 0;

    // Called after every index line. A host handles pending events here, but may do so at
    // most every few tens of milliseconds; the caller does not know or care.
    virtual void pumpEvents() = 0;

    // Puts plain text on the clipboard where there is one.
    virtual void setClipboard(std::string_view text) = 0;
};

} // namespace qm
