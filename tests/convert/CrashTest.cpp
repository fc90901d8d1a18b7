// A real `quillmarch --headless` killed with SIGKILL at random moments of a job that moves
// images, allows duplicates and removes processed index files. After every kill the files
// must keep the promises of BrokenPromises. QM_CRASH_KILLS sets how many kills to land (200
// by default; the figures in docs/reliability.md come from a longer run).
#include "support/KillTrial.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace qm::test {
namespace {

using namespace std::chrono;

TEST(CrashTest, SigkillAtRandomMomentsKeepsEveryPromise) {
    const char* wanted = std::getenv("QM_CRASH_KILLS");
    const int kills = wanted != nullptr ? std::atoi(wanted) : 200;

    // The middle of three runs, so one slow start does not stretch the window.
    auto timed = [](bool withIndexFiles, FileContents* state) {
        std::vector<microseconds> took;
        for (int i = 0; i < 3; ++i) {
            CrashSandbox sandbox;
            if (!withIndexFiles)
                for (char f = 'a'; f <= 'c'; ++f)
                    std::filesystem::remove(sandbox.work() + "/in/" + f + ".csv");
            const auto start = steady_clock::now();
            EXPECT_FALSE(sandbox.run(minutes(2))) << "the undisturbed run did not end";
            took.push_back(duration_cast<microseconds>(steady_clock::now() - start));
            if (state != nullptr)
                *state = sandbox.state();
        }
        std::sort(took.begin(), took.end());
        return took[1];
    };
    FileContents undisturbed;
    const microseconds took = timed(true, &undisturbed);
    ASSERT_TRUE(BrokenPromises(undisturbed, undisturbed).empty());
    ASSERT_EQ(undisturbed.count("in/a.csv"), 0u) << "the undisturbed run did not finish the job";
    ASSERT_EQ(undisturbed.count("out/batch2.bif"), 1u);
    // The promises can fail: a torn BIF file and a lost image are seen.
    FileContents torn = undisturbed;
    torn["out/batch1.bif"].pop_back();
    torn.erase("out/B0/1000.tif");
    EXPECT_EQ(BrokenPromises(torn, undisturbed).size(), 2u);
    // Most of a run is the program starting; the kills go where the job works: from a little
    // before the moment a run without index files ends to the end of a whole run.
    const microseconds starting = timed(false, nullptr);

    std::mt19937 random(std::random_device{}());
    long earliest = starting.count() * 9 / 10;
    long latest = std::max(took, starting).count();
    int landed = 0;
    int midJob = 0;
    int trials = 0;
    int missed = 0;
    while (landed < kills && trials < kills * 5) {
        ++trials;
        CrashSandbox sandbox;
        const long at = std::uniform_int_distribution<long>(earliest, latest)(random);
        microseconds ended{0};
        if (!sandbox.run(microseconds(at), &ended)) {
            // This run was quicker than the measured ones (they may have met a busier
            // machine): aim a little earlier, the start of the window too, in the measured
            // proportion, so the window never closes on a start the runs no longer reach.
            ++missed;
            latest = std::max(1L, std::max(latest * 19 / 20, static_cast<long>(ended.count())));
            earliest = std::min({earliest, latest,
                                 latest * starting.count() / std::max(1L, took.count()) * 9 / 10});
            continue;
        }
        ++landed;
        const FileContents observed = sandbox.state();
        if (observed != CrashSandbox::Initial() && observed != undisturbed)
            ++midJob;
        const std::vector<std::string> broken = BrokenPromises(observed, undisturbed);
        for (const std::string& promise : broken)
            ADD_FAILURE() << "killed after " << at << " us: " << promise;
        if (!broken.empty())
            break;
    }
    EXPECT_EQ(landed, kills);
    std::printf("%d kills landed in %d trials (%d in the middle of the job, %d runs ended before "
                "their kill); an undisturbed run took %ld us, one without index files %ld us; "
                "kills aimed at last between %ld and %ld us\n",
                landed, trials, midJob, missed, static_cast<long>(took.count()),
                static_cast<long>(starting.count()), earliest, latest);
}

} // namespace
} // namespace qm::test
