// The real executable killed with SIGKILL at random moments of a job that moves images,
// allows duplicates and removes processed index files; the job run again must end where an
// undisturbed run ends. And two processes on one job convert each index file once.

#include "support/FolderState.h"
#include "support/JobFile.h"
#include "support/KillTrial.h"
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
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

State StateOf(const std::string& folder) {
    FileContents files = FolderContents(folder);
    files.erase("job.sbf");
    return StateFrom(files);
}

// A job of `files` index files of `lines` documents each, its images in scans/, moves,
// duplicates and removal on, one target taken before it starts.
void WriteJob(TempFolder& temp, int files, int lines) {
    SbfJob job = RelativeMovingJob();
    job.fieldNames = "IMAGEPATH|Name";
    job.removeProcessed = job.allowDupes = "True";
    temp.write("job/job.sbf", job.text());
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

// Starts `quillmarch --headless job.sbf` in `work`, its state in `state`, through `launcher`
// (such as strace and its options) when one is given.
pid_t Start(const std::string& work, const std::string& state,
            const std::vector<std::string>& launcher = {}) {
    std::vector<std::string> arguments = HeadlessRun(launcher);
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 ||
            chdir(work.c_str()) != 0)
            _exit(127);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (state + "/config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (state + "/xdg").c_str(), 1);
        execvp(argv[0], argv.data());
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

// The device a folder lies on; 0 when it cannot be seen.
dev_t DeviceOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

// A job's folder whose scans/ may lie on another file system, behind a link: what the job
// leaves is the job folder's files and the images wherever they are.
struct JobPlace {
    std::string work;
    std::string scans; // "" when scans/ is a plain folder of the job

    // Copies the job `original` here, its images to `scans` when one is given.
    void fill(const std::string& original) const {
        fs::remove_all(work);
        fs::copy(original, work, fs::copy_options::recursive);
        if (scans.empty())
            return;
        fs::remove_all(scans);
        fs::create_directories(fs::path(scans).parent_path());
        fs::copy(work + "/scans", scans, fs::copy_options::recursive);
        fs::remove_all(work + "/scans");
        fs::create_directory_symlink(scans, work + "/scans");
    }

    State state() const {
        State s = StateOf(work);
        if (!scans.empty())
            for (const auto& [name, content] : StateOf(scans).files)
                s.files["scans/" + name] = content;
        return s;
    }
};

// Kills the real program at random moments of a job (`wanted` kills, QM_KILLS when set) and
// runs it again after each kill; every rerun must end as an undisturbed run. With `elsewhere`
// the images lie there, on another file system than the job and its BIF folder.
// The recovery journals lie in `states`.
void KillAndRerun(TempFolder& temp, const std::string& elsewhere, const std::string& states) {
    const int wanted = std::getenv("QM_KILLS") ? std::atoi(std::getenv("QM_KILLS")) : 200;
    WriteJob(temp, 4, 15);
    const std::string original = temp.path("job");
    auto place = [&](const char* name) {
        return JobPlace{temp.path(name), elsewhere.empty() ? "" : elsewhere + "/" + name};
    };

    // Start-up takes much of a run: the kills fall after it. The second start is timed, as
    // the first may read the program from a cold disk.
    const JobPlace idle = place("idle");
    idle.fill(original);
    fs::remove_all(idle.work + "/in");
    fs::create_directory(idle.work + "/in");
    ASSERT_EQ(Wait(Start(idle.work, states + "/" + "idle-state")), 0);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Wait(Start(idle.work, states + "/" + "idle-state")), 0);
    const auto startUp = std::chrono::steady_clock::now() - started;

    const JobPlace calm = place("calm");
    calm.fill(original);
    started = std::chrono::steady_clock::now();
    ASSERT_EQ(Wait(Start(calm.work, states + "/" + "calm-state")), 0);
    const auto took = std::chrono::steady_clock::now() - started;
    const State expected = calm.state();
    ASSERT_EQ(expected.bifs.size(), 4u);
    ASSERT_EQ(expected.files.count("out/B0/1-0001.tif"), 1u);

    std::mt19937 random(20261208);
    const auto us = [](auto d) {
        return std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    };
    // Kills aim within [earliest, latest] after the journal appears. A run that finished first
    // pulls both in; a kill that changed nothing pushes both out past where it fell. So a
    // machine busier or calmer than during the measured run (a first start from a cold disk,
    // other tests beside it) still has most kills fall inside the work.
    long earliest = 0;
    long latest = std::max(us(took - startUp), 1000L);
    int kills = 0;
    int midJob = 0; // kills after the job had changed something
    const JobPlace run = place("run");
    run.fill(original);
    const State untouched = run.state();
    int attempt = 0;
    for (; kills < wanted && attempt < wanted * 5; ++attempt) {
        const std::string state = states + "/" + "run-state";
        fs::remove_all(state);
        run.fill(original);
        const pid_t child = Start(run.work, state);
        // The journal folder appears when the work begins.
        for (int wait = 0; wait < 20000 && !fs::exists(state + "/quillmarch/journal"); ++wait)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const long moment = std::uniform_int_distribution<long>(earliest, latest)(random);
        std::this_thread::sleep_for(std::chrono::microseconds(moment));
        kill(child, SIGKILL);
        if (Wait(child) != 128 + SIGKILL) {
            earliest = earliest * 9 / 10;
            latest = std::max(earliest + 1000, std::min(latest * 19 / 20, moment));
            continue;
        }
        ++kills;
        if (run.state() != untouched) {
            ++midJob;
        } else {
            earliest = moment;
            latest = std::max(latest, moment + moment / 2 + 1000);
        }
        ASSERT_EQ(Wait(Start(run.work, state)), 0) << "kill " << kills;
        ASSERT_EQ(run.state(), expected) << "kill " << kills;
        ASSERT_EQ(Journals(state), 0) << "kill " << kills;
    }
    EXPECT_GE(kills, wanted);
    EXPECT_GE(midJob, wanted / 2) << "most kills must interrupt the work itself";
    std::printf(
        "[ figures  ] %d kills in %d runs (%d in the middle of the job), each followed by a "
        "run that ended as an undisturbed one; an undisturbed run took %ld us\n",
        kills, attempt, midJob, static_cast<long>(us(took)));
}

TEST(CrashRecoveryTest, AJobKilledAtAnyMomentFinishesExactlyOnceOnItsNextRun) {
    const ScopedEnvironment memory("TMPDIR", MemoryFolder());
    TempFolder temp;
    KillAndRerun(temp, "", temp.path());
}

// The images on another file system than the job and its BIF folder: every move is a copy, a
// rename and a removal, and a kill between them must not double an image. The job lies on the
// memory file system and the images on the disk: a kill loses no page cache, so either way
// round tests the same, and this way the syncs of hundreds of runs cost nothing.
TEST(CrashRecoveryTest, AJobMovingImagesAcrossFileSystemsFinishesExactlyOnceOnItsNextRun) {
    TempFolder disk;
    if (!MemoryFolder() || DeviceOf(*MemoryFolder()) == DeviceOf(disk.path()))
        GTEST_SKIP() << "/dev/shm is not a file system of its own here";
    const ScopedEnvironment memory("TMPDIR", MemoryFolder());
    TempFolder memoryFolder;
    KillAndRerun(memoryFolder, disk.path("images"), memoryFolder.path());
}

// The kill falls exactly between a copy taking its target's name and the removal of its
// source: strace stops the program at its Nth unlink or unlinkat. Each move removes a partial
// copy that is not there and then its source; an index file is removed and its journal
// deleted after its last move. The rerun must remove the source instead of numbering a second
// copy or asking about an existing file, and leave no temporary copy.
int ImagesAtTwoPlaces(const State& state) {
    std::map<std::string, int> copies;
    for (const auto& [name, content] : state.files)
        ++copies[content];
    return static_cast<int>(
        std::count_if(copies.begin(), copies.end(), [](const auto& c) { return c.second == 2; }));
}

// Two index files of 10 lines whose images lie on /dev/shm and whose BIF folder is on the disk,
// run once undisturbed; the trials run under strace. Says why when the machine cannot.
struct AcrossFileSystems {
    AcrossFileSystems() {
        if (!MemoryFolder() || DeviceOf(*MemoryFolder()) == DeviceOf(disk.path()))
            unavailable = "/dev/shm is not a file system of its own here";
        else if (std::system("strace -o /dev/null true > /dev/null 2>&1") != 0)
            unavailable = "strace cannot trace here";
        if (unavailable)
            return;
        WriteJob(disk, 2, 10);
        const JobPlace calm{disk.path("calm"), memoryFolder.path("calm")};
        calm.fill(disk.path("job"));
        calmStatus = Wait(Start(calm.work, memoryFolder.path("calm-state")));
        expected = calm.state();
        run = {disk.path("run"), memoryFolder.path("run")};
        state = memoryFolder.path("run-state");
    }

    // Runs the job afresh under strace with `inject`; its exit status.
    int trial(const std::string& inject) {
        run.fill(disk.path("job"));
        fs::remove_all(state);
        return Wait(Start(run.work, state,
                          {"strace", "-f", "-o", "/dev/null", "-e", "trace=unlink,unlinkat", "-e",
                           "inject=unlink,unlinkat:" + inject}));
    }

    TempFolder disk; // made before TMPDIR points at /dev/shm
    ScopedEnvironment memory{"TMPDIR", MemoryFolder()};
    TempFolder memoryFolder;
    std::optional<std::string> unavailable;
    int calmStatus = -1;
    State expected;
    JobPlace run;
    std::string state;
};

TEST(CrashRecoveryTest, AMoveAcrossFileSystemsKilledBeforeItsSourceWentIsFinishedByTheRerun) {
    AcrossFileSystems t;
    if (t.unavailable)
        GTEST_SKIP() << *t.unavailable;
    ASSERT_EQ(t.calmStatus, 0);
    const State& expected = t.expected;
    ASSERT_EQ(expected.files.count("out/B0/1-0001.tif"), 1u);
    // The 1st, 2nd (a numbered duplicate) and 3rd image, and the first of the second index file
    // (after 10 moves, the removal of the first index file and the deletion of its journal).
    for (const int unlinkat : {2, 4, 6, 24}) {
        SCOPED_TRACE("killed at removal " + std::to_string(unlinkat));
        ASSERT_EQ(t.trial("signal=KILL:when=" + std::to_string(unlinkat)), 128 + SIGKILL);
        // The kill fell where it was meant to: an image is at both places (moves made in one
        // batch remove their sources together, so there may be several).
        EXPECT_GE(ImagesAtTwoPlaces(t.run.state()), 1);

        ASSERT_EQ(Wait(Start(t.run.work, t.state)), 0);
        EXPECT_EQ(t.run.state(), expected);
        EXPECT_EQ(Journals(t.state), 0);
    }
}

// Moves across file systems made in one batch remove their sources together. A source that
// cannot be removed (strace refuses the Nth unlink) ends the conversion at its move: its copy
// and the copies of the moves after it are taken back, so no image is left at two places and
// no temporary copy stays, and the rerun ends as an undisturbed run.
TEST(CrashRecoveryTest, ASourceThatCannotBeRemovedTakesBackTheCopiesAfterIt) {
    AcrossFileSystems t;
    if (t.unavailable)
        GTEST_SKIP() << *t.unavailable;
    ASSERT_EQ(t.calmStatus, 0);
    const State& expected = t.expected;
    // Lines 2 to 9 of the first index file move in one batch: removals 5 to 12 clear partial
    // copies, 13 to 20 remove their sources.
    for (const int unlinkat : {13, 15, 20}) {
        SCOPED_TRACE("removal " + std::to_string(unlinkat) + " refused");
        EXPECT_NE(t.trial("error=EACCES:when=" + std::to_string(unlinkat)), 0);
        const State left = t.run.state();
        EXPECT_EQ(ImagesAtTwoPlaces(left), 0);
        for (const auto& [name, content] : left.files)
            EXPECT_EQ(name.find(".qm-move-"), std::string::npos) << name;
        ASSERT_EQ(Wait(Start(t.run.work, t.state)), 0);
        EXPECT_EQ(t.run.state(), expected);
        EXPECT_EQ(Journals(t.state), 0);
    }
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
