#pragma once

#include "platform/Host.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace qm {

// Which of the standard streams are terminals: questions need a person who can read them
// and type (both), the progress line needs a screen to repaint (standard error).
struct ConsoleTerminal {
    bool input = false;
    bool error = false;
};

// The host of a run without a window. Notices and error boxes go to the error stream as
// "Title: text". Questions and file dialogs are asked on the terminal when both the input
// and the error stream are terminals; otherwise they are not asked and take the unattended
// answer (Cancel where offered, else No; file dialogs are cancelled), which is printed with
// the question so a log shows what happened. On a terminal, each index file gets one
// progress line that is repainted in place. There is no clipboard without a window, so
// setClipboard drops its text. On a terminal, control characters in the texts shown (which
// come from index and job files) are made visible (VisibleText); a file receives them as
// they are.
class ConsoleHost : public Host {
public:
    using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

    // `input` is read for answers, `error` receives everything shown. `now` is the steady
    // clock that paces the progress line (replaceable in tests).
    ConsoleHost(std::istream& input, std::ostream& error, ConsoleTerminal terminal,
                SteadyNow now = &std::chrono::steady_clock::now);
    ~ConsoleHost() override;

    ConsoleHost(const ConsoleHost&) = delete;
    ConsoleHost& operator=(const ConsoleHost&) = delete;

    // Asks the system which standard streams (0 and 2) are terminals.
    static ConsoleTerminal StandardTerminal();

    Answer showMessage(const MessageBox& box) override;
    std::optional<std::string> showFileDialog(const FileDialog& dialog) override;
    void setStatus(int panel, std::string_view text) override;
    void pumpEvents() override;
    void setClipboard(std::string_view text) override;

    // The least time between two repaints of the progress line.
    static constexpr std::chrono::milliseconds RepaintInterval{100};

private:
    bool canAsk() const { return terminal_.input && terminal_.error; }
    // Text from files as written to the error stream: control characters made visible on a
    // terminal, unchanged in a file.
    std::string shown(std::string_view text) const;
    void paintProgress(bool final);
    void endProgressLine();
    std::optional<std::string> readLine();

    std::istream& input_;
    std::ostream& error_;
    ConsoleTerminal terminal_;
    SteadyNow now_;

    // The progress of the index file being converted, kept only on a terminal.
    bool progressActive_ = false;
    bool finalShown_ = false; // the line is finished and nothing was counted since
    std::string progressFile_;
    std::int64_t documents_ = 0;
    std::chrono::steady_clock::time_point progressStart_{};
    std::chrono::steady_clock::time_point lastPaint_{};
    std::string paintBuffer_;
};

// The text of a box as lines for the console: CR LF and lone CR become LF, so a text built
// with CR separators does not overwrite itself on a terminal.
std::string ConsoleText(std::string_view text);

// The answer that a typed line stands for with the given buttons: the first non-blank
// character, either letter case; an empty line takes `fallback`; nothing for a line that
// names no offered button.
std::optional<Answer> ParseConsoleAnswer(std::string_view line, Buttons buttons, Answer fallback);

} // namespace qm
