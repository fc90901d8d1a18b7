#pragma once

#include <chrono>
#include <optional>

namespace qm {

struct Context;

// How long an index file must have been left alone before a run started by the timer takes
// it: the scanning station may still be writing a younger one.
inline constexpr std::chrono::seconds QuietPeriod{10};

// What a caller asks of one run beyond the job itself.
struct RunRequest {
    // Set for a run started by the timer, to the moment it began: index files modified less
    // than QuietPeriod before it are left for a later run. Runs started by a person leave
    // it unset and take every file at once.
    std::optional<std::chrono::system_clock::time_point> startedByTimerAt;
};

// What one call of RunJob did; the command-line job derives its exit status from it.
struct RunSummary {
    bool refused = false; // another run was in progress; nothing was done
    int converted = 0;    // index files whose conversion returned true
    int failed = 0;       // index files whose conversion returned false
    int documents = 0;    // documents in the BIF files written
    int leftForLater = 0; // index files too recently modified for a run started by the timer
    bool stopped = false; // a stop request ended the run before every file was handled
};

// Runs the current job once: converts every index file that the job's index entries stand
// for into a BIF file, saving the job after each success and deleting the index file when
// asked. Never raises: failures are reported inside, and a failure of the run itself ends
// it under "Load Files to Convert". A call while another run is in progress (from an event
// handled during a conversion) is refused at once. A stop request (ProcessState) lets the
// file being converted finish and starts no other.
RunSummary RunJob(Context& context, const RunRequest& request = {});

} // namespace qm
