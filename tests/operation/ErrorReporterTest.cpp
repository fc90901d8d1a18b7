#include "platform/Error.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>
#include <new>
#include <unistd.h>

namespace qm {
namespace {

using test::TestWorld;

struct ReportCase {
    std::int32_t number;
    const char* description;
    const char* operation;
    const char* detail;
    const char* text;
};

const ReportCase kReports[] = {
    {53, "File not found: C:\\In\\a.csv", "Load Files to Convert", "Current File: a.csv",
     "53 - File not found: C:\\In\\a.csv\n\nCurrent File: a.csv"},
    {1000, "ImagePath field is missing!  Cannot process file!", "Convert CSV to BIF", "Line # 1",
     "1000 - ImagePath field is missing!  Cannot process file!\n\nLine # 1"},
    {static_cast<std::int32_t>(0x800A0035u), "Automation error", "Install Service", "",
     "800A0035 - Automation error"},
    {76, "Path not found", "Open Configuration File", "", "76 - Path not found"},
    {-5, "negative", "Count Characters", "", "-5 - negative"},
};

TEST(ErrorReporterTest, ShowsOneExclamationBoxWithOk) {
    for (const ReportCase& c : kReports) {
        TestWorld world;
        world.reporter.ReportError(Error(c.number, "source", c.description), c.operation, c.detail);
        ASSERT_EQ(world.host.boxes.size(), 1u) << c.operation;
        const MessageBox& box = world.host.boxes[0];
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.title, std::string("Error in ") + c.operation);
        EXPECT_EQ(box.icon, Icon::Exclamation);
        EXPECT_EQ(box.buttons, Buttons::Ok);
        EXPECT_TRUE(world.systemLog.events.empty());
        EXPECT_EQ(world.reporter.reportCount(), 1);
    }
}

TEST(ErrorReporterTest, AsAServiceWritesAnEventInsteadOfABox) {
    for (const ReportCase& c : kReports) {
        TestWorld world;
        world.process.serviceMode = true;
        world.reporter.ReportError(Error(c.number, "source", c.description), c.operation, c.detail);
        EXPECT_TRUE(world.host.boxes.empty());
        ASSERT_EQ(world.systemLog.events.size(), 1u);
        const auto& event = world.systemLog.events[0];
        EXPECT_EQ(event.type, EventType::Error);
        EXPECT_EQ(event.id, 109);
        EXPECT_EQ(event.text, std::string(c.text) + "\n\nModule: " + c.operation);
    }
}

TEST(ErrorReporterTest, ErrorZeroReportsNothing) {
    for (bool service : {false, true}) {
        TestWorld world;
        world.process.serviceMode = service;
        world.job.setFlag(MenuField::DebugMode, true);
        world.reporter.ReportError(Error(0, "source", "nothing"), "Program Load", "detail");
        EXPECT_TRUE(world.host.boxes.empty());
        EXPECT_TRUE(world.systemLog.events.empty());
        EXPECT_TRUE(world.systemLog.debug.empty());
        EXPECT_NE(::access(world.log.path().c_str(), F_OK), 0);
        EXPECT_EQ(world.reporter.reportCount(), 0);
    }
}

TEST(ErrorReporterTest, DebugModeAddsTheLogLine) {
    TestWorld world;
    world.job.setFlag(MenuField::DebugMode, true);
    world.reporter.ReportError(Error(53, "x", "File not found"), "Load Files to Convert",
                               "Current File: a.csv");
    EXPECT_EQ(world.temp.read("debug-QM.log"),
              "2026-02-03 09:05:07 - Error in Load Files to Convert - 53 - File not found\n\n"
              "Current File: a.csv\r\n");
    EXPECT_EQ(world.host.boxes.size(), 1u);
}

TEST(ErrorReporterTest, DebugModeOffWritesNoLine) {
    TestWorld world;
    world.reporter.ReportError(Error(53, "x", "File not found"), "Program Load", "");
    EXPECT_EQ(world.host.boxes.size(), 1u);
    EXPECT_NE(::access(world.log.path().c_str(), F_OK), 0);
    EXPECT_TRUE(world.systemLog.debug.empty());
}

// The log cannot be written while reporting: the report still reaches the person and
// nothing escapes the reporter.
TEST(ErrorReporterTest, UnwritableLogDoesNotStopTheReport) {
    for (bool service : {false, true}) {
        TestWorld world;
        world.process.serviceMode = service;
        world.job.setFlag(MenuField::DebugMode, true);
        DebugLog brokenLog(world.job.debugModeQuery(), world.files, world.systemLog, world.clock,
                           world.temp.path("missing/debug-QM.log"));
        ErrorReporter reporter(world.host, world.systemLog, brokenLog, world.process);
        EXPECT_NO_THROW(reporter.ReportError(Error(53, "x", "File not found"), "Program Load", ""));
        EXPECT_EQ(world.host.boxes.size(), service ? 0u : 1u);
        EXPECT_EQ(world.systemLog.events.size(), service ? 1u : 0u);
        EXPECT_EQ(reporter.reportCount(), 1);
    }
}

TEST(RunOperationTest, ReportsEachKindOfFailureAndReturnsFalse) {
    const struct {
        const char* name;
        void (*fail)();
        const char* text;
    } cases[] = {
        {"qm::Error", [] { throw Error(1000, "Convert CSV to BIF", "Bad line"); },
         "1000 - Bad line\n\nLine # 3"},
        {"bad_alloc", [] { throw std::bad_alloc(); }, "7 - Out of memory\n\nLine # 3"},
    };
    for (const auto& c : cases) {
        TestWorld world;
        int line = 1;
        const bool ok = RunOperation(
            world.reporter, "Convert CSV to BIF", [&] { return "Line # " + std::to_string(line); },
            [&] {
                line = 3; // the detail is taken when the failure happens
                c.fail();
            });
        EXPECT_FALSE(ok) << c.name;
        ASSERT_EQ(world.host.boxes.size(), 1u) << c.name;
        EXPECT_EQ(world.host.boxes[0].text, c.text);
        EXPECT_EQ(world.host.boxes[0].title, "Error in Convert CSV to BIF");
    }
}

TEST(RunOperationTest, SuccessReportsNothing) {
    TestWorld world;
    bool ran = false;
    EXPECT_TRUE(RunOperation(world.reporter, "Program Load", [&] { ran = true; }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(world.host.boxes.empty());
    EXPECT_EQ(world.reporter.reportCount(), 0);
}

} // namespace
} // namespace qm
