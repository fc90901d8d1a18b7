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

struct ServiceRun : test::TestWorld {
    ServiceRun() {
        for (const char* folder : {"in", "home", "state", "units"})
            fs::create_directories(temp.path(folder));
        job.setText(TextField::FieldNames, "Name|ImagePath");
        job.setText(TextField::DocType, "Invoice");
        job.setText(TextField::ImageFolder, temp.path("img"));
        job.setCheck(CheckField::MoveFiles, CheckState::Unchecked);
        job.setText(TextField::IndexFile, temp.path("in/*.csv"));
        job.setText(TextField::BIFFile, temp.path("out/result.bif"));
        job.setFlag(MenuField::RemoveProcessed, true);
        SaveConfig(context, temp.path("job.sbf"));
        const std::string socketPath = temp.path("notify");
        notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
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

    pid_t spawn(std::vector<std::string> arguments) {
        std::vector<std::string> environment = {"HOME=" + temp.path("home"),
                                                "XDG_CONFIG_HOME=" + temp.path("home"),
                                                "XDG_STATE_HOME=" + temp.path("state"),
                                                "QUILLMARCH_UNIT_DIR=" + temp.path("units"),
                                                "NOTIFY_SOCKET=" + temp.path("notify"),
                                                "QUILLMARCH_TICK_MS=10",
                                                "TZ=QMT-5:45"};
        arguments.insert(arguments.begin(), QM_EXECUTABLE);
        std::vector<char*> argv, envp;
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int in = ::open("/dev/null", O_RDWR);
            if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(in, 1) < 0 || ::dup2(in, 2) < 0 ||
                ::chdir(temp.path().c_str()) != 0)
                ::_exit(127);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return pid;
    }
    static int Wait(pid_t pid) {
        int status = 0;
        if (::waitpid(pid, &status, 0) != pid)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Installs the job as the service and starts it; true once it said READY=1.
    bool Start() {
        if (Wait(spawn({"--install-service", "job.sbf"})) != 0)
            return false;
        child = spawn({"/v"});
        char message[64] = {};
        const ssize_t got = ::recv(notify, message, sizeof message - 1, 0);
        return got > 0 && std::string(message) == "READY=1";
    }
    int Stop() {
        ::kill(child, SIGTERM);
        const int status = Wait(child);
        child = -1;
        return status;
    }
    std::vector<std::string> OutFiles() {
        std::vector<std::string> names;
        if (fs::exists(temp.path("out")))
            for (const auto& entry : fs::directory_iterator(temp.path("out")))
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
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

} // namespace
} // namespace qm
