#include "platform/Error.h"
#include "platform/posix/DebugLogLocation.h"
#include "platform/posix/ProgramFolders.h"
#include "platform/posix/SyslogSystemLog.h"
#include "platform/posix/SystemClock.h"
#include "support/TestWorld.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

namespace qm {
namespace {

using test::ScopedEnvironment;
using test::TempFolder;
using test::TestWorld;

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

TEST(DebugLogTest, OffWritesNothingAnywhere) {
    TestWorld world;
    world.job.setFlag(MenuField::DebugMode, false);
    world.log.WriteLog("Command line parsed");
    world.reporter.ReportError(Error(53, "x", "File not found"), "Program Load", "");
    EXPECT_FALSE(Exists(world.log.path()));
    EXPECT_TRUE(world.systemLog.debug.empty());
}

TEST(DebugLogTest, LineFormatTable) {
    const struct {
        LocalTime time;
        const char* message;
        const char* expected;
    } cases[] = {
        {{2026, 2, 3, 9, 5, 7}, "Done", "2026-02-03 09:05:07 - Done"},
        {{1999, 12, 31, 23, 59, 59}, "", "1999-12-31 23:59:59 - "},
        {{2026, 1, 1, 0, 0, 0}, "a\n\nb", "2026-01-01 00:00:00 - a\n\nb"},
        {{987, 10, 10, 10, 10, 10}, "x", "0987-10-10 10:10:10 - x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatLogLine(c.time, c.message), c.expected) << c.message;
}

TEST(DebugLogTest, OnWritesTheLineWithCrLfAndTheDebuggerOutput) {
    TestWorld world;
    world.job.setFlag(MenuField::DebugMode, true);
    world.log.WriteLog("Done");
    EXPECT_EQ(world.temp.read("debug-QM.log"), "2026-02-03 09:05:07 - Done\r\n");
    ASSERT_EQ(world.systemLog.debug.size(), 1u);
    EXPECT_EQ(world.systemLog.debug[0], " Done");

    // Inner line feeds stay bare; bytes above 127 pass unchanged.
    world.clock.time = {2026, 2, 3, 9, 5, 8};
    world.log.WriteLog("one\n\ntwo caf\xE9");
    EXPECT_EQ(world.temp.read("debug-QM.log"),
              "2026-02-03 09:05:07 - Done\r\n2026-02-03 09:05:08 - one\n\ntwo caf\xE9\r\n");
}

TEST(DebugLogTest, LaterRunsAppend) {
    TestWorld world;
    world.job.setFlag(MenuField::DebugMode, true);
    world.temp.write("debug-QM.log", "earlier run\r\n");
    world.log.WriteLog("first");
    DebugLog second(world.job.debugModeQuery(), world.files, world.systemLog, world.clock,
                    world.log.path());
    second.WriteLog("second");
    EXPECT_EQ(world.temp.read("debug-QM.log"),
              "earlier run\r\n2026-02-03 09:05:07 - first\r\n2026-02-03 09:05:07 - second\r\n");
}

TEST(DebugLogTest, UnwritableLogRaisesToTheOperation) {
    TestWorld world;
    world.job.setFlag(MenuField::DebugMode, true);
    DebugLog log(world.job.debugModeQuery(), world.files, world.systemLog, world.clock,
                 world.temp.path("missing/debug-QM.log"));
    EXPECT_THROW(log.WriteLog("x"), Error);
}

// The machine's clock in a zone 5:45 east of UTC: the line's time is local time there.
TEST(DebugLogTest, SystemClockGivesLocalTime) {
    ScopedEnvironment zone("TZ", std::string("QMT-5:45"));
    TestWorld world;
    world.job.setFlag(MenuField::DebugMode, true);
    SystemClock clock;
    DebugLog log(world.job.debugModeQuery(), world.files, world.systemLog, clock, world.log.path());

    const std::time_t before = std::time(nullptr);
    log.WriteLog("now");
    const std::time_t after = std::time(nullptr);

    const std::string line = world.temp.read("debug-QM.log");
    bool matched = false;
    std::string expected;
    for (std::time_t t = before; t <= after && !matched; ++t) {
        const std::time_t shifted = t + 5 * 3600 + 45 * 60;
        std::tm utc{};
        gmtime_r(&shifted, &utc);
        expected = FormatLogLine({utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                                  utc.tm_min, utc.tm_sec},
                                 "now") +
                   "\r\n";
        matched = line == expected;
    }
    EXPECT_TRUE(matched) << "line " << line << " expected like " << expected;
}

// --- Where the log goes ------------------------------------------------------------------

TEST(DebugLogLocationTest, WritableExecutableFolderHoldsTheLog) {
    TempFolder exe;
    EXPECT_EQ(DebugLogLocation(exe.path()), exe.path() + "/debug-QM.log");
}

TEST(DebugLogLocationTest, ReadOnlyFolderFallsBackToTheStateFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root can write into read-only folders";
    TempFolder exe;
    TempFolder home;
    ASSERT_EQ(::chmod(exe.path().c_str(), 0555), 0);
    const struct {
        std::optional<std::string> stateHome;
        std::string expectedFolder;
    } cases[] = {
        {home.path("state"), home.path("state/quillmarch")},
        {std::nullopt, home.path(".local/state/quillmarch")},
        {std::string(""), home.path(".local/state/quillmarch")},
        {std::string("relative/state"), home.path(".local/state/quillmarch")},
    };
    ScopedEnvironment homeVariable("HOME", home.path());
    for (const auto& c : cases) {
        ScopedEnvironment state("XDG_STATE_HOME", c.stateHome);
        EXPECT_EQ(DebugLogLocation(exe.path()), c.expectedFolder + "/debug-QM.log");
        struct stat st {};
        EXPECT_EQ(::stat(c.expectedFolder.c_str(), &st), 0) << c.expectedFolder;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << c.expectedFolder;
    }
    ::chmod(exe.path().c_str(), 0755);
}

TEST(DebugLogLocationTest, MissingExecutableFolderFallsBack) {
    TempFolder home;
    ScopedEnvironment state("XDG_STATE_HOME", home.path("state"));
    EXPECT_EQ(DebugLogLocation(home.path("no/such/folder")),
              home.path("state/quillmarch/debug-QM.log"));
    EXPECT_EQ(DebugLogLocation(""), home.path("state/quillmarch/debug-QM.log"));
}

// An installed program (bin/ beside share/quillmarch/) opens its manual from the data folder
// and never writes its log into bin/, though the folder can be written; a program in the
// build tree keeps both beside itself.
TEST(DebugLogLocationTest, InstalledProgramKeepsItsFilesInTheirPlaces) {
    TempFolder tree;
    TempFolder home;
    ScopedEnvironment state("XDG_STATE_HOME", home.path("state"));
    std::filesystem::create_directories(tree.path("usr/bin"));
    std::filesystem::create_directories(tree.path("usr/share/quillmarch"));
    std::filesystem::create_directories(tree.path("build"));
    std::filesystem::create_directories(tree.path("opt/bin"));
    std::filesystem::create_directories(tree.path("opt/share/quillmarch-other"));
    const std::string stateLog = home.path("state/quillmarch/debug-QM.log");
    const struct {
        std::string executableFolder;
        std::string dataFolder;
        std::string manualFolder;
        std::string debugLog;
    } cases[] = {
        {tree.path("usr/bin"), tree.path("usr/share/quillmarch"), tree.path("usr/share/quillmarch"),
         stateLog},
        {tree.path("build"), "", tree.path("build"), tree.path("build/debug-QM.log")},
        {tree.path("opt/bin"), "", tree.path("opt/bin"), tree.path("opt/bin/debug-QM.log")},
        {"", "", "", stateLog},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executableFolder);
        EXPECT_EQ(InstalledDataFolder(c.executableFolder), c.dataFolder);
        EXPECT_EQ(ManualFolder(c.executableFolder), c.manualFolder);
        EXPECT_EQ(DebugLogLocation(c.executableFolder), c.debugLog);
    }
}

TEST(DebugLogLocationTest, ExecutableFolderHoldsThisTestProgram) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_NE(folder.back(), '/');
    EXPECT_EQ(::access((folder + "/quillmarch_tests").c_str(), X_OK), 0) << folder;
}

// --- Debugger output and event log -------------------------------------------------------

// Listens where syslog() sends its messages. Only possible where no system logger owns
// /dev/log and the test may create it (a container running as root); elsewhere it skips.
class SyslogCapture {
public:
    SyslogCapture() {
        if (::access("/dev/log", F_OK) == 0 || ::access("/dev", W_OK) != 0)
            return;
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "/dev/log");
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            if (fd_ >= 0)
                ::close(fd_);
            fd_ = -1;
        }
    }
    ~SyslogCapture() {
        if (fd_ >= 0) {
            ::close(fd_);
            ::unlink("/dev/log");
        }
    }
    bool listening() const { return fd_ >= 0; }

    // The next message of this process that holds `token`, or "" after a second.
    std::string next(const std::string& token) {
        const std::string mine = "quillmarch[" + std::to_string(::getpid()) + "]: ";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        timeval wait{0, 100000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        while (std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                continue;
            const std::string message(buffer, static_cast<std::size_t>(n));
            if (message.find(mine) != std::string::npos && message.find(token) != std::string::npos)
                return message;
        }
        return {};
    }

private:
    int fd_ = -1;
};

TEST(SyslogSystemLogTest, PrioritiesIdentityAndEventIdentifier) {
    SyslogCapture capture;
    if (!capture.listening())
        GTEST_SKIP() << "a system logger owns /dev/log, or it cannot be created here";
    SyslogSystemLog log;
    const std::string token = "token-" + std::to_string(::getpid());
    const std::string mine = "quillmarch[" + std::to_string(::getpid()) + "]: ";
    const struct {
        std::optional<EventType> type; // none: debugger output
        int priority;
        const char* text;
    } cases[] = {
        {std::nullopt, LOG_DEBUG, " Command line parsed"},
        {EventType::Error, LOG_ERR, "[109] 53 - File not found\n\nModule: Start Service"},
        {EventType::Warning, LOG_WARNING, "[109] a warning with 100% and %s"},
        {EventType::Information, LOG_INFO, "[109] information"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        if (c.type)
            text = text.substr(std::string("[109] ").size());
        text += " " + token;
        if (c.type)
            log.logEvent(*c.type, 109, text);
        else
            log.debugOutput(text);
        const std::string message = capture.next(token);
        ASSERT_FALSE(message.empty()) << c.text;
        const std::string priority = "<" + std::to_string(LOG_USER | c.priority) + ">";
        EXPECT_EQ(message.rfind(priority, 0), 0u) << message;
        const auto start = message.find(mine);
        ASSERT_NE(start, std::string::npos) << message;
        EXPECT_EQ(message.substr(start + mine.size()), std::string(c.text) + " " + token);
    }
}

} // namespace
} // namespace qm
