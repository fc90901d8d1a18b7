#include "platform/posix/ConsoleHost.h"

#include <gtest/gtest.h>
#include <sstream>

namespace qm {
namespace {

using namespace std::chrono_literals;
using TimePoint = std::chrono::steady_clock::time_point;

// A console whose terminal answers and clock the test sets.
struct Console {
    explicit Console(ConsoleTerminal terminal, std::string typed = {})
        : input(std::move(typed)),
          host(input, error, terminal, [this] { return TimePoint{} + elapsed; }) {}

    std::istringstream input;
    std::ostringstream error;
    std::chrono::milliseconds elapsed{0};
    ConsoleHost host;
};

constexpr ConsoleTerminal NoTerminal{false, false};
constexpr ConsoleTerminal FullTerminal{true, true};

TEST(ConsoleHostTest, UnattendedAnswersWithoutATerminalToAskOn) {
    struct Case {
        ConsoleTerminal terminal;
        Buttons buttons;
        Answer expected;
    };
    const Case cases[] = {
        {NoTerminal, Buttons::YesNoCancel, Answer::Cancel},
        {NoTerminal, Buttons::YesNo, Answer::No},
        {NoTerminal, Buttons::Ok, Answer::Ok},
        // Input from a file or a pipe, output on a screen: nobody can type the answer.
        {ConsoleTerminal{false, true}, Buttons::YesNoCancel, Answer::Cancel},
        // A person types, but the question would go to a file they cannot see.
        {ConsoleTerminal{true, false}, Buttons::YesNo, Answer::No},
    };
    for (const Case& c : cases) {
        // Typed answers are there but must not be read.
        Console console(c.terminal, "y\ny\n");
        const Answer answer =
            console.host.showMessage({"Replace it?", "File Exists", c.buttons, Icon::Question});
        EXPECT_EQ(answer, c.expected) << static_cast<int>(c.buttons);
        std::string rest;
        std::getline(console.input, rest);
        EXPECT_EQ(rest, "y") << "the answer was read from the input";
        EXPECT_EQ(console.error.str().rfind("File Exists: Replace it?\n", 0), 0u)
            << console.error.str();
    }
}

TEST(ConsoleHostTest, UnattendedQuestionSaysWhichAnswerWasTaken) {
    Console console(NoTerminal);
    console.host.showMessage(
        {"Remove C:\\Out\\a.bifX?", "Quillmarch", Buttons::YesNo, Icon::Question});
    EXPECT_EQ(console.error.str(), "Quillmarch: Remove C:\\Out\\a.bifX?\n"
                                   "[Y]es/[N]o? No (not asked: no terminal to answer on)\n");
}

TEST(ConsoleHostTest, NoticesAreTitleColonTextLines) {
    struct Case {
        MessageBox box;
        const char* expected;
    };
    const Case cases[] = {
        {{"Finished BIF conversion!", "Quillmarch", Buttons::Ok, Icon::Information},
         "Quillmarch: Finished BIF conversion!\n"},
        {{"53 - File not found: a.csv\n\nCurrent File: in\\*.csv", "Error in Load Files to Convert",
          Buttons::Ok, Icon::Exclamation},
         "Error in Load Files to Convert: 53 - File not found: a.csv\n\nCurrent File: in\\*.csv\n"},
        // CR LF and lone CR separate lines on a console as they do in a box.
        {{"Config file does not exist!\r\njob.sbf", "Quillmarch", Buttons::Ok, Icon::None},
         "Quillmarch: Config file does not exist!\njob.sbf\n"},
        {{"Source File: a\rIndex File: b\rSkip?", "T", Buttons::Ok, Icon::None},
         "T: Source File: a\nIndex File: b\nSkip?\n"},
        {{"", "Empty", Buttons::Ok, Icon::None}, "Empty: \n"},
    };
    for (const Case& c : cases) {
        for (ConsoleTerminal terminal : {NoTerminal, FullTerminal}) {
            Console console(terminal, "n\n");
            EXPECT_EQ(console.host.showMessage(c.box), Answer::Ok);
            EXPECT_EQ(console.error.str(), c.expected);
        }
    }
}

TEST(ConsoleHostTest, TerminalQuestionTakesTheTypedAnswer) {
    struct Case {
        Buttons buttons;
        const char* typed;
        Answer expected;
    };
    const Case cases[] = {
        {Buttons::YesNoCancel, "y\n", Answer::Yes},
        {Buttons::YesNoCancel, "Yes\n", Answer::Yes},
        {Buttons::YesNoCancel, "N\n", Answer::No},
        {Buttons::YesNoCancel, "  no thanks\n", Answer::No},
        {Buttons::YesNoCancel, "c\n", Answer::Cancel},
        {Buttons::YesNoCancel, "\n", Answer::Cancel}, // Enter takes the unattended answer
        {Buttons::YesNo, "\n", Answer::No},
        {Buttons::YesNo, "y\r\n", Answer::Yes},
        {Buttons::YesNo, "c\nmaybe\nY\n", Answer::Yes}, // Cancel is not offered: asked again
        {Buttons::YesNoCancel, "x\n", Answer::Cancel},  // asked again, then the input ends
        {Buttons::YesNoCancel, "", Answer::Cancel},     // the input has already ended
    };
    for (const Case& c : cases) {
        Console console(FullTerminal, c.typed);
        EXPECT_EQ(console.host.showMessage({"Replace?", "File Exists", c.buttons, Icon::Question}),
                  c.expected)
            << c.typed;
    }
}

TEST(ConsoleHostTest, TerminalQuestionShowsButtonsAndNamesTheDefault) {
    Console console(FullTerminal, "q\nn\n");
    console.host.showMessage({"Replace?", "File Exists", Buttons::YesNoCancel, Icon::Question});
    EXPECT_EQ(console.error.str(), "File Exists: Replace?\n"
                                   "[Y]es/[N]o/[C]ancel (Enter = Cancel): "
                                   "[Y]es/[N]o/[C]ancel (Enter = Cancel): ");
}

TEST(ConsoleHostTest, ParseConsoleAnswerTable) {
    struct Case {
        const char* line;
        Buttons buttons;
        std::optional<Answer> expected;
    };
    const Case cases[] = {
        {"", Buttons::YesNo, Answer::No},
        {" \t", Buttons::YesNo, Answer::No},
        {"yes", Buttons::YesNo, Answer::Yes},
        {"YES", Buttons::YesNoCancel, Answer::Yes},
        {"no", Buttons::YesNoCancel, Answer::No},
        {"cancel", Buttons::YesNo, std::nullopt},
        {"Cancel", Buttons::YesNoCancel, Answer::Cancel},
        {"ok", Buttons::YesNo, std::nullopt},
        {"ok", Buttons::Ok, Answer::Ok},
        {"?", Buttons::YesNoCancel, std::nullopt},
        {"\xff", Buttons::YesNoCancel, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseConsoleAnswer(c.line, c.buttons, UnattendedAnswer(c.buttons)), c.expected)
            << c.line;
}

TEST(ConsoleHostTest, FileDialogs) {
    const FileDialog open{FileDialogKind::Open,
                          "Quillmarch Files (*.sbf)|*.sbf|All Files (*.*)|*.*", 1, "\\*.sbf"};
    const FileDialog save{FileDialogKind::Save, "Quillmarch Files (*.sbf)|*.sbf", 1, ""};
    struct Case {
        const FileDialog* dialog;
        ConsoleTerminal terminal;
        const char* typed;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {&open, NoTerminal, "jobs/a.sbf\n", std::nullopt},
        {&save, ConsoleTerminal{false, true}, "jobs/a.sbf\n", std::nullopt},
        {&open, FullTerminal, "jobs/a b.sbf\n", std::string("jobs/a b.sbf")},
        {&save, FullTerminal, "C:\\Jobs\\x.sbf\r\n", std::string("C:\\Jobs\\x.sbf")},
        {&open, FullTerminal, "\n", std::nullopt}, // empty: cancelled
        {&open, FullTerminal, "", std::nullopt},   // end of input: cancelled
    };
    for (const Case& c : cases) {
        Console console(c.terminal, c.typed);
        EXPECT_EQ(console.host.showFileDialog(*c.dialog), c.expected) << c.typed;
    }
}

TEST(ConsoleHostTest, FileDialogPromptsNameTheFilterAndTheStart) {
    Console unattended(NoTerminal);
    unattended.host.showFileDialog({FileDialogKind::Save, "Quillmarch Files (*.sbf)|*.sbf", 1, ""});
    EXPECT_EQ(unattended.error.str(),
              "Save file (Quillmarch Files (*.sbf)): cancelled (not asked: no terminal to "
              "answer on)\n");

    Console asked(FullTerminal, "a.sbf\n");
    asked.host.showFileDialog(
        {FileDialogKind::Open, "Quillmarch Files (*.sbf)|*.sbf", 1, "C:\\Jobs\\*.sbf"});
    EXPECT_EQ(asked.error.str(), "Open file (Quillmarch Files (*.sbf)), starting at "
                                 "C:\\Jobs\\*.sbf\nPath (Enter = Cancel): ");
}

// Runs one index file of `documents` documents through the status panels the way a
// conversion does, `step` apart.
void ConvertDocuments(Console& console, const char* file, int documents,
                      std::chrono::milliseconds step) {
    console.host.setStatus(1, file);
    for (int i = 0; i < documents; ++i) {
        console.host.setStatus(2, "B1\\0001.tif");
        console.elapsed += step;
        console.host.pumpEvents();
    }
    console.host.setStatus(1, "");
    console.host.setStatus(2, "");
    console.host.pumpEvents();
}

TEST(ConsoleHostTest, NoProgressWithoutATerminal) {
    for (ConsoleTerminal terminal : {NoTerminal, ConsoleTerminal{true, false}}) {
        Console console(terminal);
        ConvertDocuments(console, "batch1.csv", 50, 30ms);
        EXPECT_EQ(console.error.str(), "");
    }
}

TEST(ConsoleHostTest, OneProgressLinePerIndexFileOnATerminal) {
    Console console(ConsoleTerminal{false, true});
    ConvertDocuments(console, "batch1.csv", 3, 10ms);
    // Too quick for a repaint: only the closing line, with the rate of 3 documents in 30 ms.
    EXPECT_EQ(console.error.str(), "\rbatch1.csv: 3 documents, 100/s\x1b[K\n");
}

TEST(ConsoleHostTest, ProgressRepaintsAtMostEveryHundredMilliseconds) {
    Console console(FullTerminal);
    ConvertDocuments(console, "big.csv", 10, 40ms);
    // Repaints after 120 ms (3 documents), 240 ms (6), 360 ms (9); then the closing line.
    EXPECT_EQ(console.error.str(), "\rbig.csv: 3 documents, 25/s\x1b[K"
                                   "\rbig.csv: 6 documents, 25/s\x1b[K"
                                   "\rbig.csv: 9 documents, 25/s\x1b[K"
                                   "\rbig.csv: 10 documents, 25/s\x1b[K\n");
}

TEST(ConsoleHostTest, MessageDuringProgressStartsOnItsOwnLine) {
    Console console(FullTerminal);
    console.host.setStatus(1, "a.csv");
    console.host.setStatus(2, "x.tif");
    console.elapsed = 500ms;
    console.host.showMessage(
        {"53 - File not found", "Error in Convert CSV to BIF", Buttons::Ok, Icon::Exclamation});
    // A failed conversion leaves its panels set; the next file starts a new line without
    // repeating the finished one.
    console.host.setStatus(1, "b.csv");
    console.host.setStatus(1, "");
    EXPECT_EQ(console.error.str(), "\ra.csv: 1 document, 2/s\x1b[K\n"
                                   "Error in Convert CSV to BIF: 53 - File not found\n"
                                   "\rb.csv: 0 documents\x1b[K\n");
}

TEST(ConsoleHostTest, AnUnfinishedLineIsEndedWhenTheHostGoes) {
    std::ostringstream error;
    {
        std::istringstream input;
        ConsoleHost host(input, error, FullTerminal, [] { return TimePoint{}; });
        host.setStatus(1, "a.csv");
        host.setStatus(2, "x.tif");
    }
    EXPECT_EQ(error.str(), "\ra.csv: 1 document\x1b[K\n");
}

TEST(ConsoleHostTest, ClipboardWithoutAWindowShowsNothing) {
    Console console(FullTerminal);
    console.host.setClipboard("job.sbf /p");
    EXPECT_EQ(console.error.str(), "");
}

} // namespace
} // namespace qm
