// The real executable as systemd runs it: installed into a unit folder of the test's own,
// started with "/v", a notify socket and a short tick, and stopped with SIGTERM.

#include "settings/ConfigFile.h"
#include "support/TestWorld.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The service has a /tmp of its own, so its jobs are made beside the build instead.
struct OutsideTmp {
    test::ScopedEnvironment tmpdir{"TMPDIR", fs::path(QM_EXECUTABLE).parent_path().string()};
};

struct ServiceRun : OutsideTmp, test::TestWorld {
    ServiceRun() {
        for (const char* folder : {"in", "home", "state", "units"})
            fs::create_directories(temp.path(folder));
        useRepeatedJob();
        SaveConfig(context, temp.path("job.sbf"));
        notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{AF_UNIX, {}};
        temp.path("notify").copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const timeval timeout{20, 0};
        ::setsockopt(notify, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~ServiceRun() {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
        ::close(notify);
    }

    // Runs quillmarch in the temporary folder with settings, state and units of its own;
    // what it says on standard error goes to the file "stderr".
    pid_t spawn(const std::vector<std::string>& arguments, const char* tickMs = "10",
                const char* sudoUser = nullptr) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (const auto& [name, value] : {std::pair{"HOME", "home"},
                                              {"XDG_CONFIG_HOME", "home"},
                                              {"XDG_STATE_HOME", "state"},
                                              {"QUILLMARCH_UNIT_DIR", "units"},
                                              {"NOTIFY_SOCKET", "notify"}})
                ::setenv(name, temp.path(value).c_str(), 1);
            ::setenv("QUILLMARCH_TICK_MS", tickMs, 1);
            if (sudoUser)
                ::setenv("SUDO_USER", sudoUser, 1);
            else
                ::unsetenv("SUDO_USER");
            std::vector<char*> argv{const_cast<char*>(QM_EXECUTABLE)};
            for (const std::string& a : arguments)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            const int in = ::open("/dev/null", O_RDWR);
            const int err = ::open(temp.path("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in >= 0 && err >= 0 && ::dup2(in, 0) >= 0 && ::dup2(in, 1) >= 0 &&
                ::dup2(err, 2) >= 0 && ::chdir(temp.path().c_str()) == 0)
                ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Installs the job as the service and starts it; true once it said READY=1.
    bool Start() {
        if (Wait(spawn({"--install-service", "job.sbf"})) != 0)
            return false;
        child = spawn({"/v"});
        return Receive("READY=1") == "READY=1";
    }
    // The first message to systemd that starts with `prefix`, skipping others; "" when none
    // comes within the socket's timeout.
    std::string Receive(const std::string& prefix) {
        for (;;) {
            char message[512] = {};
            if (::recv(notify, message, sizeof message - 1, 0) <= 0)
                return "";
            if (std::string(message).rfind(prefix, 0) == 0)
                return message;
        }
    }
    int Stop() {
        ::kill(child, SIGTERM);
        const int status = Wait(child);
        child = -1;
        return status;
    }
    std::vector<std::string> OutFiles() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp.path("out")))
            names.push_back(entry.path().filename().string());
        return names;
    }
    void SetAge(const std::string& relative, std::chrono::seconds age) {
        fs::last_write_time(temp.path(relative), fs::file_time_type::clock::now() - age);
    }
    int notify = -1;
    pid_t child = -1;
};

TEST(ServiceProcessTest, StopDuringALongConversionFinishesThatFileOnly) {
    ServiceRun run;
    std::string big;
    constexpr int Lines = 300000;
    for (int i = 0; i < Lines; ++i)
        big += "Document " + std::to_string(i) + ",img" + std::to_string(i) + ".tif\r\n";
    run.temp.write("in/a.csv", big);
    run.temp.write("in/b.csv", "Small,b.tif\r\n");
    run.SetAge("in/a.csv", 60s);
    run.SetAge("in/b.csv", 60s);
    ASSERT_TRUE(run.Start());

    ASSERT_TRUE(test::WaitForFile(run.temp.path("out/result.bifX"), 20.0));
    EXPECT_EQ(run.Stop(), 0);

    EXPECT_EQ(run.OutFiles(), std::vector<std::string>{"result.bif"});
    const std::string bif = run.temp.read("out/result.bif");
    EXPECT_NE(bif.find("\r\ndoc" + std::to_string(Lines) + ".delete_images=False\r\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(run.temp.path("in/a.csv")));
    EXPECT_EQ(run.temp.read("in/b.csv"), "Small,b.tif\r\n");
}

TEST(ServiceProcessTest, AFileTouchedJustBeforeTheTickWaits) {
    ServiceRun run;
    run.temp.write("in/old.csv", "Old,o.tif\r\n");
    run.SetAge("in/old.csv", 60s);
    run.temp.write("in/fresh.csv", "Fresh,f.tif\r\n");
    ASSERT_TRUE(run.Start());

    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (fs::exists(run.temp.path("in/old.csv")) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(fs::exists(run.temp.path("in/old.csv")));
    std::this_thread::sleep_for(100ms); // the run's remaining files, had it taken any
    EXPECT_EQ(run.Stop(), 0);

    EXPECT_EQ(run.OutFiles(), std::vector<std::string>{"result.bif"});
    EXPECT_NE(run.temp.read("out/result.bif").find("=Old\r\n"), std::string::npos);
    EXPECT_EQ(run.temp.read("in/fresh.csv"), "Fresh,f.tif\r\n");
}

// Under sudo the service runs as the user who called it; one that does not exist is refused
// rather than leaving the unit to run as root.
TEST(ServiceProcessTest, SudoForAUserWhoDoesNotExistInstallsNothing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "SUDO_USER counts only for root";
    ServiceRun run;
    EXPECT_EQ(
        ServiceRun::Wait(run.spawn({"--install-service", "job.sbf"}, "10", "qm-no-such-user")), 1);
    EXPECT_NE(run.temp.read("stderr").find("Error in Install Service: 1030 - The user "
                                           "qm-no-such-user named by SUDO_USER does not exist"),
              std::string::npos)
        << run.temp.read("stderr");
    EXPECT_FALSE(fs::exists(run.temp.path("units/quillmarch.service")));
}

TEST(ServiceProcessTest, TellsSystemdItsStatusAndReadsTheJobAgainOnSighup) {
    ServiceRun run;
    run.temp.write("in/a.csv", "A,a.tif\r\nB,b.tif\r\n");
    run.SetAge("in/a.csv", 60s);
    ASSERT_TRUE(run.Start());

    const std::string status = run.Receive("STATUS=Last run ");
    EXPECT_NE(status.find(": 1 index file converted, 0 failed, 2 documents; next run "),
              std::string::npos)
        << status;
    // The service keeps journals and locks as every road that runs a job does.
    EXPECT_TRUE(fs::is_directory(run.temp.path("state/quillmarch/journal")));
    EXPECT_NE(
        run.temp.read("units/quillmarch.service").find("\nExecReload=/bin/kill -HUP $MAINPID\n"),
        std::string::npos);

    // The job changed on disk: another BIF file. A reload, and the next run writes there.
    run.job.setText(TextField::BIFFile, run.temp.path("out/other.bif"));
    SaveConfig(run.context, run.temp.path("job.sbf"));
    ::kill(run.child, SIGHUP);
    EXPECT_EQ(run.Receive("RELOADING=1").rfind("RELOADING=1\nMONOTONIC_USEC=", 0), 0u);
    EXPECT_EQ(run.Receive("READY=1"), "READY=1");
    run.temp.write("in/b.csv", "C,c.tif\r\n");
    run.SetAge("in/b.csv", 60s);
    EXPECT_TRUE(test::WaitForFile(run.temp.path("out/other.bif"), 20.0));
    EXPECT_EQ(run.Stop(), 0);
}

// Watch mode with the real one-second tick: the timer's first run would come only after 31
// seconds, so whatever is converted sooner was seen by the folder watch.
TEST(ServiceProcessTest, WatchModeTakesFilesUpOnceLeftAloneForTenSeconds) {
    ServiceRun run;
    run.child = run.spawn({"--watch", "job.sbf"}, "1000");
    ASSERT_EQ(run.Receive("READY=1"), "READY=1");
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto seconds = [&] {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    run.temp.write("in/once.csv", "Once,o.tif\r\n");
    // Appended to, closed after each write, until second 4.
    std::string appended;
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            std::this_thread::sleep_for(2s);
        appended += "Line" + std::to_string(i) + ",l.tif\r\n";
        run.temp.write("in/appended.csv", appended);
    }
    const double lastWrite = seconds();

    double onceGone = -1;
    double appendedGone = -1;
    while (seconds() < 25 && appendedGone < 0) {
        if (onceGone < 0 && !fs::exists(run.temp.path("in/once.csv")))
            onceGone = seconds();
        if (!fs::exists(run.temp.path("in/appended.csv")))
            appendedGone = seconds();
        std::this_thread::sleep_for(50ms);
    }
    EXPECT_GE(onceGone, 9.5);
    EXPECT_LE(onceGone, 15.0);
    EXPECT_GE(appendedGone, lastWrite + 9.5);
    EXPECT_LE(appendedGone, lastWrite + 15.0);
    EXPECT_EQ(run.Stop(), 0);
    EXPECT_EQ(run.OutFiles().size(), 2u);
}

TEST(ServiceProcessTest, WatchModeStopsOnSigtermAfterTheFileAtHand) {
    ServiceRun run;
    std::string big;
    constexpr int Lines = 300000;
    for (int i = 0; i < Lines; ++i)
        big += "Document " + std::to_string(i) + ",img" + std::to_string(i) + ".tif\r\n";
    run.child = run.spawn({"--watch", "job.sbf"}, "1000");
    ASSERT_EQ(run.Receive("READY=1"), "READY=1");
    run.temp.write("in/a.csv", big);

    ASSERT_TRUE(test::WaitForFile(run.temp.path("out/result.bifX"), 25.0));
    run.temp.write("in/b.csv", "Small,b.tif\r\n");
    EXPECT_EQ(run.Stop(), 0);

    EXPECT_EQ(run.OutFiles(), std::vector<std::string>{"result.bif"});
    EXPECT_NE(run.temp.read("out/result.bif")
                  .find("\r\ndoc" + std::to_string(Lines) + ".delete_images=False\r\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(run.temp.path("in/a.csv")));
    EXPECT_TRUE(fs::exists(run.temp.path("in/b.csv")));
}

} // namespace
} // namespace qm
