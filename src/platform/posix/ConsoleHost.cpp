#include "platform/posix/ConsoleHost.h"

#include "platform/VisibleText.h"

#include <cstdio>
#include <istream>
#include <ostream>
#include <unistd.h>

namespace qm {

namespace {

const char* ButtonPrompt(Buttons buttons) {
    switch (buttons) {
    case Buttons::YesNoCancel:
        return "[Y]es/[N]o/[C]ancel";
    case Buttons::YesNo:
        return "[Y]es/[N]o";
    case Buttons::Ok:
        break;
    }
    return "[O]k";
}

bool Offers(Buttons buttons, Answer answer) {
    switch (buttons) {
    case Buttons::Ok:
        return answer == Answer::Ok;
    case Buttons::YesNo:
        return answer == Answer::Yes || answer == Answer::No;
    case Buttons::YesNoCancel:
        return answer != Answer::Ok;
    }
    return false;
}

// The caption of a dialog filter's first entry: "Quillmarch Files (*.sbf)".
std::string FirstFilterCaption(const std::string& filter) {
    return filter.substr(0, filter.find('|'));
}

} // namespace

std::string ConsoleText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
            continue;
        }
        out += '\n';
        if (i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    return out;
}

std::optional<Answer> ParseConsoleAnswer(std::string_view line, Buttons buttons, Answer fallback) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return fallback;
    Answer answer;
    switch (line[first]) {
    case 'y':
    case 'Y':
        answer = Answer::Yes;
        break;
    case 'n':
    case 'N':
        answer = Answer::No;
        break;
    case 'c':
    case 'C':
        answer = Answer::Cancel;
        break;
    case 'o':
    case 'O':
        answer = Answer::Ok;
        break;
    default:
        return std::nullopt;
    }
    if (!Offers(buttons, answer))
        return std::nullopt;
    return answer;
}

ConsoleHost::ConsoleHost(std::istream& input, std::ostream& error, ConsoleTerminal terminal,
                         SteadyNow now)
    : input_(input), error_(error), terminal_(terminal), now_(std::move(now)) {}

ConsoleHost::~ConsoleHost() {
    try {
        endProgressLine();
    } catch (...) {
        // A destructor has nobody to tell; the screen is merely left without a line end.
    }
}

ConsoleTerminal ConsoleHost::StandardTerminal() {
    return {isatty(STDIN_FILENO) == 1, isatty(STDERR_FILENO) == 1};
}

std::optional<std::string> ConsoleHost::readLine() {
    std::string line;
    if (!std::getline(input_, line))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

Answer ConsoleHost::showMessage(const MessageBox& box) {
    endProgressLine();
    std::string text = shown(box.title + ": " + ConsoleText(box.text));
    text += '\n';
    if (box.buttons == Buttons::Ok) {
        error_ << text << std::flush;
        return Answer::Ok;
    }

    const Answer fallback = UnattendedAnswer(box.buttons);
    if (!canAsk()) {
        text += ButtonPrompt(box.buttons);
        text += "? ";
        text += AnswerName(fallback);
        text += " (not asked: no terminal to answer on)\n";
        error_ << text << std::flush;
        return fallback;
    }

    error_ << text << std::flush;
    for (;;) {
        error_ << ButtonPrompt(box.buttons) << " (Enter = " << AnswerName(fallback)
               << "): " << std::flush;
        const auto line = readLine();
        if (!line) {
            // The input has ended: nobody is left to answer.
            error_ << AnswerName(fallback) << '\n' << std::flush;
            return fallback;
        }
        if (const auto answer = ParseConsoleAnswer(*line, box.buttons, fallback))
            return *answer;
    }
}

std::optional<std::string> ConsoleHost::showFileDialog(const FileDialog& dialog) {
    endProgressLine();
    std::string text = dialog.kind == FileDialogKind::Save ? "Save file" : "Open file";
    const std::string caption = FirstFilterCaption(dialog.filter);
    if (!caption.empty())
        text += " (" + caption + ")";
    if (!canAsk()) {
        text += ": cancelled (not asked: no terminal to answer on)\n";
        error_ << text << std::flush;
        return std::nullopt;
    }
    if (!dialog.startName.empty())
        text += ", starting at " + shown(dialog.startName);
    text += "\nPath (Enter = Cancel): ";
    error_ << text << std::flush;
    const auto line = readLine();
    if (!line) {
        error_ << '\n' << std::flush;
        return std::nullopt;
    }
    if (line->empty())
        return std::nullopt;
    return *line;
}

void ConsoleHost::setStatus(int panel, std::string_view text) {
    if (!terminal_.error)
        return;
    if (panel == 2) {
        // Called once per document: counting must stay cheap.
        if (progressActive_ && !text.empty()) {
            ++documents_;
            finalShown_ = false;
        }
        return;
    }
    if (panel != 1)
        return;
    endProgressLine();
    progressActive_ = false;
    if (text.empty())
        return;
    progressActive_ = true;
    progressFile_ = VisibleText(text, false); // kept on a terminal only
    documents_ = 0;
    finalShown_ = false;
    progressStart_ = now_();
    lastPaint_ = progressStart_;
}

void ConsoleHost::pumpEvents() {
    if (!progressActive_)
        return;
    const auto now = now_();
    if (now - lastPaint_ < RepaintInterval)
        return;
    lastPaint_ = now;
    paintProgress(false);
}

void ConsoleHost::setClipboard(std::string_view) {}

std::string ConsoleHost::shown(std::string_view text) const {
    return terminal_.error ? VisibleText(text, true) : std::string(text);
}

void ConsoleHost::paintProgress(bool final) {
    using namespace std::chrono;
    const double seconds = duration<double>(now_() - progressStart_).count();
    char numbers[96];
    const int length =
        std::snprintf(numbers, sizeof numbers, ": %lld %s", static_cast<long long>(documents_),
                      documents_ == 1 ? "document" : "documents");
    // Below a millisecond a rate means nothing.
    if (seconds >= 0.001)
        std::snprintf(numbers + length, sizeof numbers - static_cast<std::size_t>(length),
                      ", %.0f/s", static_cast<double>(documents_) / seconds);
    paintBuffer_ = '\r';
    paintBuffer_ += progressFile_;
    paintBuffer_ += numbers;
    paintBuffer_ += "\x1b[K";
    if (final)
        paintBuffer_ += '\n';
    error_ << paintBuffer_ << std::flush;
    finalShown_ = final;
}

// A message must not be written into the middle of the progress line: the line is finished
// first, and the next repaint starts a fresh one below the message. A line already finished
// with nothing counted since is not written twice.
void ConsoleHost::endProgressLine() {
    if (!progressActive_ || finalShown_)
        return;
    paintProgress(true);
    lastPaint_ = now_();
}

} // namespace qm
