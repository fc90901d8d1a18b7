// The real executable killed with SIGKILL at random moments of a job that moves images,
// allows duplicates and removes processed index files; the job run again must end where an
// undisturbed run ends. And two processes on one job convert each index file once.

#include "support/FolderState.h"
#include "support/TempFolder.h"
#include "support/TestWorld.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

State StateOf(const std::string& folder) {
    State s;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).generic_string();
        if (!entry.is_regular_file() || name == "job.sbf")
            continue;
        if (entry.path().extension() == ".bif")
            s.bifs.push_back(ReadWhole(entry.path()));
        else
            s.files[name] = ReadWhole(entry.path());
    }
    std::sort(s.bifs.begin(), s.bifs.end());
    return s;
}

// A job of `files` index files of `lines` documents each, its images in scans/, moves,
// duplicates and removal on, one target taken before it starts.
void WriteJob(TempFolder& temp, int files, int lines) {
    std::string job;
    for (const char* line :
         {"1", "in\\*.csv", "out\\batch.bif", "scans", "Invoice", "/Finance", ",", "2500",
          "IMAGEPATH|Name", "0", "0", "0", "1", "True", "True", "False", "False"})
        job += std::string(line) + "\r\n";
    temp.write("job/job.sbf", job);
    for (int f = 0; f < files; ++f) {
        std::string index;
        for (int i = 0; i < lines; ++i) {
            const std::string image = "B" + std::to_string(f) + "\\" + std::to_string(i) + ".tif";
            index += image + ",Document " + std::to_string(f * lines + i) + "\r\n";
            temp.write("job/scans/B" + std::to_string(f) + "/" + std::to_string(i) + ".tif",
                       "image " + image);
        }
        temp.write("job/in/batch" + std::to_string(f) + ".csv", index);
    }
    temp.write("job/out/B0/1.tif", "an earlier batch's image");
}

// Starts `quillmarch --headless job.sbf` in `work`, its state in `state`.
pid_t Start(const std::string& work, const std::string& state) {
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 ||
            chdir(work.c_str()) != 0)
            _exit(127);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (state + "/config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (state + "/xdg").c_str(), 1);
        execl(QM_EXECUTABLE, QM_EXECUTABLE, "--headless", "job.sbf", static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

int Wait(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Journals(const std::string& state) {
    const std::string folder = state + "/quillmarch/journal";
    if (!fs::exists(folder))
        return 0;
    return static_cast<int>(
        std::count_if(fs::directory_iterator(folder), fs::directory_iterator(),
                      [](const auto& e) { return e.path().extension() == ".journal"; }));
}

// A kill leaves the page cache as it was, so a memory file system loses nothing a disk would
// keep, and hundreds of runs take seconds instead of minutes of syncs.
std::optional<std::string> MemoryFolder() {
    return fs::is_directory("/dev/shm") ? std::optional<std::string>("/dev/shm") : std::nullopt;
}

TEST(CrashRecoveryTest, AJobKilledAtAnyMomentFinishesExactlyOnceOnItsNextRun) {
    const ScopedEnvironment memory("TMPDIR", MemoryFolder());
    const int wanted = std::getenv("QM_KILLS") ? std::atoi(std::getenv("QM_KILLS")) : 200;
    TempFolder temp;
    WriteJob(temp, 4, 15);
    const std::string original = temp.path("job");

    // Start-up takes much of a run: the kills fall after it.
    const std::string idle = temp.path("idle");
    fs::copy(original, idle, fs::copy_options::recursive);
    fs::remove_all(idle + "/in");
    fs::create_directory(idle + "/in");
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Wait(Start(idle, temp.path("idle-state"))), 0);
    const auto startUp = std::chrono::steady_clock::now() - started;

    const std::string calm = temp.path("calm");
    fs::copy(original, calm, fs::copy_options::recursive);
    started = std::chrono::steady_clock::now();
    ASSERT_EQ(Wait(Start(calm, temp.path("calm-state"))), 0);
    const auto took = std::chrono::steady_clock::now() - started;
    const State expected = StateOf(calm);
    ASSERT_EQ(expected.bifs.size(), 4u);
    ASSERT_EQ(expected.files.count("out/B0/1-0001.tif"), 1u);

    std::mt19937 random(20261208);
    const auto us = [](auto d) {
        return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    };
    std::uniform_int_distribution<long> moment(0, std::max(us(took - startUp), 1000L));
    int kills = 0;
    int midJob = 0; // kills after the job had changed something
    const State untouched = StateOf(original);
    for (int attempt = 0; kills < wanted && attempt < wanted * 5; ++attempt) {
        const std::string work = temp.path("run");
        const std::string state = temp.path("run-state");
        fs::remove_all(work);
        fs::remove_all(state);
        fs::copy(original, work, fs::copy_options::recursive);
        const pid_t child = Start(work, state);
        // The journal folder appears when the work begins.
        for (int wait = 0; wait < 20000 && !fs::exists(state + "/quillmarch/journal"); ++wait)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        kill(child, SIGKILL);
        if (Wait(child) != 128 + SIGKILL)
            continue; // it had finished already
        ++kills;
        midJob += StateOf(work) != untouched;
        ASSERT_EQ(Wait(Start(work, state)), 0) << "kill " << kills;
        ASSERT_EQ(StateOf(work), expected) << "kill " << kills;
        ASSERT_EQ(Journals(state), 0) << "kill " << kills;
    }
    EXPECT_GE(kills, wanted);
    EXPECT_GE(midJob, wanted / 2) << "most kills must interrupt the work itself";
    std::printf("[ figures  ] %d kills (%d in the middle of the job), each followed by a run "
                "that ended as an undisturbed one\n",
                kills, midJob);
}

TEST(CrashRecoveryTest, TwoProcessesOnOneJobConvertEachIndexFileOnce) {
    const ScopedEnvironment memory("TMPDIR", MemoryFolder());
    TempFolder temp;
    WriteJob(temp, 12, 20);
    const std::string calm = temp.path("calm");
    fs::copy(temp.path("job"), calm, fs::copy_options::recursive);
    ASSERT_EQ(Wait(Start(calm, temp.path("calm-state"))), 0);

    const std::string work = temp.path("job");
    const pid_t first = Start(work, temp.path("state"));
    const pid_t second = Start(work, temp.path("state"));
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);
    EXPECT_EQ(StateOf(work), StateOf(calm));
}

} // namespace
} // namespace qm::test
