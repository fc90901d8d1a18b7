#include "platform/VisibleText.h"

#include "check/FindingReport.h"
#include "platform/posix/ConsoleHost.h"

#include <gtest/gtest.h>
#include <sstream>

namespace qm {
namespace {

TEST(VisibleTextTest, Table) {
    const struct {
        std::string_view text;
        bool keepLineFeeds;
        const char* expected;
    } cases[] = {
        {"scans\\B1\\0001.tif", false, "scans\\B1\\0001.tif"},
        {"\x1b[31mred.tif", false, "\\x1b[31mred.tif"},
        {"a\tb\rc\x7f", false, "a\\x09b\\x0dc\\x7f"},
        {"two\nlines", true, "two\nlines"},
        {"two\nlines", false, "two\\x0alines"},
        {std::string_view("nul\0byte", 8), false, "nul\\x00byte"},
        // U+009B, a one-character control sequence introducer, written in UTF-8.
        {"\xc2\x9b"
         "2J",
         false, "\\xc2\\x9b2J"},
        // Letters pass: code page 1252 (e acute, euro sign) and UTF-8 (e acute, a no-break space).
        {"caf\xe9 \x80 caf\xc3\xa9 \xc2\xa0", false, "caf\xe9 \x80 caf\xc3\xa9 \xc2\xa0"},
        {"end\xc2", false, "end\xc2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VisibleText(c.text, c.keepLineFeeds), c.expected) << c.text;
}

// An escape sequence from an index file reaches a terminal visible, and a file unchanged.
TEST(VisibleTextTest, ConsoleShowsControlsOnATerminalOnly) {
    const MessageBox box{"Source File: scans\\\x1b[31mred.tif\rIndex File: in\\a.csv\rSkip?",
                         "Source File is Missing", Buttons::Ok, Icon::Exclamation};
    const struct {
        ConsoleTerminal terminal;
        const char* expected;
    } cases[] = {
        {{false, true},
         "\rin\\\\x1b]0;x\\x07a.csv: 0 documents\x1b[K\n"
         "Source File is Missing: Source File: scans\\\\x1b[31mred.tif\nIndex File: "
         "in\\a.csv\nSkip?\n"},
        {{false, false},
         "Source File is Missing: Source File: scans\\\x1b[31mred.tif\nIndex File: "
         "in\\a.csv\nSkip?\n"},
    };
    for (const auto& c : cases) {
        std::istringstream input;
        std::ostringstream error;
        ConsoleHost host(input, error, c.terminal,
                         [] { return std::chrono::steady_clock::time_point{}; });
        host.setStatus(1, "in\\\x1b]0;x\x07"
                          "a.csv");
        host.showMessage(box);
        EXPECT_EQ(error.str(), c.expected) << c.terminal.error;
    }
}

TEST(VisibleTextTest, CheckTextShowsControlsAndJsonEscapesThem) {
    const Finding finding{"in\\\x1b[2Ja.csv", 3, "image-not-found", Severity::Error,
                          "the image scans\\\x1b[31m.tif does not exist"};
    std::ostringstream text;
    FindingReport(text, ReportFormat::Text, 10).add(finding);
    EXPECT_EQ(text.str(), "in\\\\x1b[2Ja.csv:3: error: the image scans\\\\x1b[31m.tif does not "
                          "exist\n");
    std::ostringstream json;
    FindingReport(json, ReportFormat::JsonLines, 10).add(finding);
    EXPECT_EQ(json.str(), "{\"file\":\"in\\\\\\u001b[2Ja.csv\",\"kind\":\"image-not-found\","
                          "\"line\":3,\"message\":\"the image scans\\\\\\u001b[31m.tif does not "
                          "exist\",\"severity\":\"error\"}\n");
}

} // namespace
} // namespace qm
