// Watch mode's rules, driven second by second on real files: a folder watch that the test
// feeds and a clock that the test moves.

#include "service/WatchProcessing.h"

#include "platform/posix/SystemdServiceControl.h"
#include "service/ServiceCommands.h"
#include "service/ServiceHosting.h"
#include "settings/ConfigFile.h"
#include "support/TestWorld.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <utility>

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using SysClock = std::chrono::system_clock;

struct FakeWatch : FolderWatch {
    WatchResult watch(const std::string& folder) override {
        if (result == WatchResult::Watching)
            watched.push_back(folder);
        return result;
    }
    void clear() override { watched.clear(); }
    FolderChanges take() override { return std::exchange(queued, {}); }

    WatchResult result = WatchResult::Watching;
    std::vector<std::string> watched;
    FolderChanges queued;
};

struct WatchWorld : test::TestWorld {
    WatchWorld() {
        useRepeatedJob();
        job.setText(TextField::CurrentConfigFile, temp.path("job.sbf"));
        fs::create_directories(temp.path("in"));
        automatic.startForService();
    }
    // Writes in/`name` (appending), with its modification time `now`; `seen`: the watch
    // reports it.
    void write(const std::string& name, bool seen = true, SysClock::duration age = {}) {
        const std::string path = temp.path("in/" + name);
        const std::string before = fs::exists(path) ? temp.read("in/" + name) : "";
        temp.write("in/" + name, before + "Doc,x.tif\r\n");
        fs::last_write_time(path, std::chrono::file_clock::from_sys(now - age));
        if (seen)
            fake.queued.files.push_back({temp.path("in"), name});
    }
    void tick() {
        now += 1s;
        automatic.tick();
        watch.tick();
    }

    SysClock::time_point now = std::chrono::floor<std::chrono::seconds>(SysClock::now());
    AutomaticProcessing automatic{context, [this] { return now; }};
    FakeWatch fake;
    WatchProcessing watch{context, automatic, fake, [this] { return now; }};
};

TEST(WatchProcessingTest, TakesAFileUpOnceLeftAloneForTheQuietPeriodTable) {
    enum Action { Write, WriteUnseen, MoveInOld, Overflow, WriteOther };
    struct Case {
        const char* name;
        std::vector<std::pair<int, Action>> script; // second, what happens then
        // The second in/a.csv is gone; -1: no run at all. The watch is read once a tick, so a
        // change counts from the tick after it: quiet period + up to one second.
        int convertedAt;
    };
    const Case cases[] = {
        {"written at once", {{0, Write}}, 11},
        {"appended until second 9", {{0, Write}, {3, Write}, {6, Write}, {9, Write}}, 20},
        {"moved in, long written", {{0, MoveInOld}}, 11},
        {"created while the queue overflowed", {{0, WriteUnseen}, {1, Overflow}}, 12},
        // The sweep after the overflow finds it still young and looks again later.
        {"written on after the overflow", {{0, Overflow}, {0, WriteUnseen}, {5, WriteUnseen}}, 21},
        {"a file the job does not name", {{0, WriteOther}}, -1},
    };
    for (const Case& c : cases) {
        WatchWorld w;
        ASSERT_EQ(w.watch.start(), 1) << c.name;
        EXPECT_EQ(w.fake.watched, std::vector<std::string>{w.temp.path("in")}) << c.name;
        int convertedAt = -1;
        // The timer's own first run comes on the 31st tick: 25 seconds see the watch alone.
        for (int second = 0; second <= 25 && convertedAt < 0; ++second) {
            for (const auto& [at, action] : c.script) {
                if (at != second)
                    continue;
                switch (action) {
                case Write:
                    w.write("a.csv");
                    break;
                case WriteUnseen:
                    w.write("a.csv", false);
                    break;
                case MoveInOld:
                    w.write("a.csv", true, 1h);
                    break;
                case Overflow:
                    w.fake.queued.overflowed = true;
                    break;
                case WriteOther:
                    w.write("c.txt");
                    break;
                }
            }
            w.tick();
            if (!fs::exists(w.temp.path("in/a.csv")) && w.automatic.runCount() > 0)
                convertedAt = second + 1;
        }
        EXPECT_EQ(convertedAt, c.convertedAt) << c.name;
        if (c.convertedAt < 0)
            EXPECT_EQ(w.automatic.runCount(), 0u) << c.name;
        else
            EXPECT_TRUE(fs::exists(w.temp.path("out/result.bif"))) << c.name;
    }
}

TEST(WatchProcessingTest, AFolderLostOrMissingIsWatchedAgainAfterATimerRun) {
    WatchWorld w;
    w.fake.result = WatchResult::Failed;
    EXPECT_EQ(w.watch.start(), 0);
    w.fake.result = WatchResult::Watching;
    w.watch.rewatch();
    EXPECT_EQ(w.watch.foldersWatched(), 1);
    w.fake.queued.lost.push_back(w.temp.path("in"));
    w.tick();
    EXPECT_EQ(w.watch.foldersWatched(), 0);
    w.watch.rewatch();
    EXPECT_EQ(w.fake.watched.size(), 2u);
}

TEST(WatchProcessingTest, NoWatchesLeftIsSaidOnceAndTheTimerGoesOn) {
    WatchWorld w;
    w.fake.result = WatchResult::LimitReached;
    EXPECT_EQ(w.watch.start(), 0);
    EXPECT_EQ(w.watch.start(), 0); // a reload tries again, silently
    ASSERT_EQ(w.host.boxes.size(), 1u);
    EXPECT_EQ(w.host.boxes[0].title, "Watch Mode");
    EXPECT_NE(w.host.boxes[0].text.find("five minutes alone"), std::string::npos);

    w.write("a.csv", false, 1h);
    for (int second = 0; second < 31; ++second)
        w.tick();
    EXPECT_TRUE(fs::exists(w.temp.path("out/result.bif")));
}

TEST(WatchProcessingTest, TheServiceWatchesWhenInstalledWithWatch) {
    // The service has a /tmp of its own: a job there is refused, so the job lives elsewhere.
    const test::ScopedEnvironment tmpdir{"TMPDIR", fs::path(QM_EXECUTABLE).parent_path().string()};
    for (const bool installedWithWatch : {false, true}) {
        WatchWorld w;
        SaveConfig(w.context, w.temp.path("job.sbf"));
        SystemdSetup setup;
        setup.unitFolder = w.temp.path("units");
        setup.workingDirectory = w.temp.path();
        SystemdServiceControl control(setup, w.map, w.systemLog);
        ASSERT_TRUE(InstallService(w.context, control, "/usr/bin/quillmarch", installedWithWatch));
        EXPECT_EQ(w.temp.read("units/quillmarch.service").find("\nWatch=yes\n") !=
                      std::string::npos,
                  installedWithWatch);

        AutomaticProcessing automatic(w.context);
        ServiceHosting hosting(w.context, control, automatic, &w.watch);
        bool started = false;
        hosting.Start(started);
        EXPECT_TRUE(started);
        EXPECT_EQ(w.fake.watched.size(), installedWithWatch ? 1u : 0u);
    }
}

} // namespace
} // namespace qm
