// Automatic processing fed tick by tick, on real files.

#include "service/AutomaticProcessing.h"

#include "support/TestWorld.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace qm {
namespace {

using State = AutomaticProcessing::State;
using SysClock = std::chrono::system_clock;

// A person whose screen handles events during a run: `duringRun` runs at every yield.
struct BusyHost : test::ScriptedHost {
    std::function<void()> duringRun;
    void pumpEvents() override {
        if (duringRun)
            duringRun();
    }
};

// A job that converts "in/*.csv" with debug mode on; each run is counted by its log line.
struct TimerWorld : test::TestWorld {
    TimerWorld() {
        useRepeatedJob();
        job.setFlag(MenuField::DebugMode, true);
        job.setText(TextField::CurrentConfigFile, temp.path("job.sbf"));
        std::filesystem::create_directories(temp.path("in"));
    }
    int runs() const { return Count(" - Started Processing Job: "); }
    int Count(const std::string& text) const {
        const std::string lines =
            std::filesystem::exists(temp.path("debug-QM.log")) ? temp.read("debug-QM.log") : "";
        int count = 0;
        for (auto at = lines.find(text); at != std::string::npos; at = lines.find(text, at + 1))
            ++count;
        return count;
    }
    // Ticks `n` times and returns the 1-based tick that started the first run, 0 for none.
    int TickUntilRun(AutomaticProcessing& automatic, int n) {
        const int before = runs();
        for (int tick = 1; tick <= n; ++tick) {
            automatic.tick();
            if (runs() > before)
                return tick;
        }
        return 0;
    }
    BusyHost busyHost;
    Context busyContext{files, tools, busyHost, job, process, log, reporter};
};

void SetAge(const std::string& path, std::chrono::seconds age, SysClock::time_point now) {
    std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(now - age));
}

TEST(AutomaticProcessingTest, TimingFollowsTheCountdown) {
    TimerWorld w;
    AutomaticProcessing automatic(w.context);
    w.host.answers = {Answer::Yes};
    ASSERT_TRUE(automatic.start());
    ASSERT_EQ(w.host.boxes.size(), 1u);
    EXPECT_EQ(w.host.boxes[0].text, "This will run the current configuration every 5 minutes, "
                                    "processing any new files automatically.  Continue?");
    EXPECT_EQ(w.host.boxes[0].title, "Automatic Processing");
    EXPECT_EQ(w.host.boxes[0].buttons, Buttons::YesNo);
    EXPECT_EQ(w.host.boxes[0].icon, Icon::Question);
    EXPECT_EQ(automatic.state(), State::Counting);

    EXPECT_EQ(w.TickUntilRun(automatic, 20), 11);
    EXPECT_EQ(automatic.countdown(), 300);
    for (int round = 0; round < 2; ++round)
        EXPECT_EQ(w.TickUntilRun(automatic, 400), 301);

    // No leaves the running timer as it was; Yes again restarts the countdown at 10.
    for (int i = 0; i < 5; ++i)
        automatic.tick();
    w.host.answers = {Answer::No};
    EXPECT_FALSE(automatic.start());
    EXPECT_EQ(automatic.countdown(), 295);
    EXPECT_EQ(automatic.state(), State::Counting);
    w.host.answers = {Answer::Yes};
    automatic.start();
    EXPECT_EQ(w.TickUntilRun(automatic, 20), 11);

    // The service's start: the 31st tick runs the job.
    automatic.startForService();
    EXPECT_EQ(w.TickUntilRun(automatic, 40), 31);
}

TEST(AutomaticProcessingTest, NoAndStopStartNothing) {
    TimerWorld w;
    AutomaticProcessing automatic(w.context);
    w.host.answers = {Answer::No, Answer::Yes};
    EXPECT_FALSE(automatic.start());
    EXPECT_EQ(w.TickUntilRun(automatic, 50), 0);
    EXPECT_EQ(automatic.state(), State::Off);

    automatic.start();
    automatic.stop();
    EXPECT_EQ(w.TickUntilRun(automatic, 50), 0);
    EXPECT_EQ(automatic.countdown(), 10); // kept until the next start sets it
}

TEST(AutomaticProcessingTest, TicksDuringAnyRunChangeNothing) {
    TimerWorld w;
    w.temp.write("in/a.csv", "A,x.tif\r\n");
    SetAge(w.temp.path("in/a.csv"), std::chrono::seconds(60), SysClock::now());
    AutomaticProcessing automatic(w.busyContext);
    automatic.startForService();
    for (int i = 0; i < 30; ++i)
        automatic.tick();

    // Ticks inside the timer's own run, and a stop: the run completes, nothing follows.
    int yields = 0;
    w.busyHost.duringRun = [&] {
        yields += automatic.state() == State::Running;
        automatic.tick();
        automatic.tick();
        automatic.stop();
    };
    automatic.tick();
    EXPECT_GT(yields, 0);
    EXPECT_EQ(w.runs(), 1);
    EXPECT_EQ(automatic.lastRun().converted, 1);
    EXPECT_EQ(automatic.countdown(), 300);
    EXPECT_EQ(automatic.state(), State::Off);
    EXPECT_EQ(w.TickUntilRun(automatic, 400), 0);

    // A run started by a person is in progress: ticks neither run nor count.
    automatic.startForService();
    w.process.jobRunning = true;
    for (int i = 0; i < 100; ++i)
        automatic.tick();
    EXPECT_EQ(automatic.countdown(), 30);
    EXPECT_EQ(w.runs(), 1);
}

TEST(AutomaticProcessingTest, FilesStillBeingWrittenWaitForALaterRun) {
    TimerWorld w;
    const auto now = SysClock::now();
    for (const char* name : {"old.csv", "fresh.csv", "edge.csv"})
        w.temp.write(std::string("in/") + name, "A,x.tif\r\n");
    SetAge(w.temp.path("in/old.csv"), std::chrono::seconds(11), now);
    SetAge(w.temp.path("in/fresh.csv"), std::chrono::seconds(2), now);
    SetAge(w.temp.path("in/edge.csv"), std::chrono::seconds(10), now);
    AutomaticProcessing automatic(w.context, [&] { return now; });
    automatic.startForService();
    EXPECT_EQ(w.TickUntilRun(automatic, 31), 31);
    EXPECT_EQ(automatic.lastRun().converted, 2);
    EXPECT_EQ(automatic.lastRun().leftForLater, 1);
    EXPECT_TRUE(std::filesystem::exists(w.temp.path("in/fresh.csv")));
    EXPECT_FALSE(std::filesystem::exists(w.temp.path("in/old.csv")));
    EXPECT_EQ(w.Count("Left for a later run, modified less than 10 seconds ago: " +
                      w.temp.path("in/fresh.csv")),
              1);
}

TEST(AutomaticProcessingTest, AServiceWhoseJobFolderVanishesKeepsRunning) {
    TimerWorld w;
    w.process.serviceMode = true;
    w.job.setText(TextField::CurrentConfigFile, w.temp.path("conf/job.sbf"));
    w.temp.write("in/a.csv", "A,x.tif\r\n");
    SetAge(w.temp.path("in/a.csv"), std::chrono::seconds(60), SysClock::now());
    AutomaticProcessing automatic(w.context);
    automatic.startForService();
    EXPECT_EQ(w.TickUntilRun(automatic, 31), 31);
    ASSERT_FALSE(w.systemLog.events.empty());
    EXPECT_NE(w.systemLog.events.back().text.find("Module: Save Configuration File"),
              std::string::npos);
    EXPECT_TRUE(w.host.boxes.empty());
    EXPECT_EQ(automatic.state(), State::Counting);
    EXPECT_EQ(w.TickUntilRun(automatic, 301), 301);
}

} // namespace
} // namespace qm
