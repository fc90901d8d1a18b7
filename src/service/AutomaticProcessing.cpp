#include "service/AutomaticProcessing.h"

#include "operation/Context.h"

#include <utility>

namespace qm {

namespace {

constexpr std::int32_t FirstCountdown = 10;
constexpr std::int32_t ServiceCountdown = 30;
constexpr std::int32_t CountdownAfterRun = 300;

// Clears the running flag whichever way the run ends.
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

} // namespace

AutomaticProcessing::AutomaticProcessing(Context& context, WallClock now)
    : context_(context), now_(std::move(now)) {}

bool AutomaticProcessing::start() {
    const Answer answer = context_.host.showMessage(
        {"This will run the current configuration every 5 minutes, processing any new files "
         "automatically.  Continue?",
         "Automatic Processing", Buttons::YesNo, Icon::Question});
    if (answer != Answer::Yes)
        return false;
    countdown_ = FirstCountdown;
    timerEnabled_ = true;
    return true;
}

void AutomaticProcessing::stop() {
    timerEnabled_ = false;
}

void AutomaticProcessing::startForService() {
    countdown_ = ServiceCountdown;
    timerEnabled_ = true;
}

void AutomaticProcessing::tick() {
    // A run in progress yields to pending events, so ticks arrive inside it; they neither
    // start a second run nor count towards the next one.
    if (!timerEnabled_ || running_ || context_.process.jobRunning)
        return;
    if (countdown_ != 0) {
        --countdown_;
        return;
    }
    run();
    countdown_ = CountdownAfterRun;
}

bool AutomaticProcessing::runNow() {
    if (!timerEnabled_ || running_ || context_.process.jobRunning)
        return false;
    run();
    return true;
}

void AutomaticProcessing::run() {
    RunningFlag running(running_);
    lastRunAt_ = now_();
    lastRun_ = RunJob(context_, RunRequest{lastRunAt_});
    ++runCount_;
}

AutomaticProcessing::State AutomaticProcessing::state() const {
    if (running_)
        return State::Running;
    return timerEnabled_ ? State::Counting : State::Off;
}

} // namespace qm
