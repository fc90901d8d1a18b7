#pragma once

#include "convert/JobRunner.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace qm {

struct Context;

// Running the current job again and again: a one-second tick (from the window's timer or the
// service loop) counts JobCountdown down and runs the job when it reaches 0, then waits 300
// ticks more. Plain C++, driven by feeding it ticks.
class AutomaticProcessing {
public:
    enum class State { Off, Counting, Running };

    using WallClock = std::function<std::chrono::system_clock::time_point()>;

    explicit AutomaticProcessing(
        Context& context, WallClock now = [] { return std::chrono::system_clock::now(); });

    // The Start command: asks whether to go on; on Yes the countdown becomes 10 and the timer
    // runs. On No nothing changes, a running timer included. Returns whether Yes was chosen.
    bool start();
    // The Stop command: the timer stops at once; a run in progress is finished.
    void stop();
    // The service's start: countdown 30, timer on, without a question.
    void startForService();

    // One tick of TimerJob. A tick while the timer is off, or while any run is in progress
    // (started by the timer or by a person), changes nothing.
    void tick();

    // A run asked for by the folder watch: like a tick's run (files changed within the quiet
    // period are left), without touching the countdown. Refused while the timer is off or any
    // run is in progress; returns whether it ran.
    bool runNow();

    State state() const;
    bool timerEnabled() const { return timerEnabled_; }
    std::int32_t countdown() const { return countdown_; }
    // What the last run started by the timer did.
    const RunSummary& lastRun() const { return lastRun_; }
    // When it began, and how many runs the timer and the watch have made.
    std::chrono::system_clock::time_point lastRunAt() const { return lastRunAt_; }
    std::uint64_t runCount() const { return runCount_; }

private:
    Context& context_;
    WallClock now_;
    bool timerEnabled_ = false;
    bool running_ = false;
    std::int32_t countdown_ = 0;
    RunSummary lastRun_;
    std::chrono::system_clock::time_point lastRunAt_{};
    std::uint64_t runCount_ = 0;

    void run();
};

} // namespace qm
