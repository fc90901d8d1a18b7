#pragma once

namespace qm {

struct Context;

// What one call of RunJob did; the command-line job derives its exit status from it.
struct RunSummary {
    bool refused = false; // another run was in progress; nothing was done
    int converted = 0;    // index files whose conversion returned true
    int failed = 0;       // index files whose conversion returned false
};

// Runs the current job once: converts every index file that the job's index entries stand
// for into a BIF file, saving the job after each success and deleting the index file when
// asked. Never raises: failures are reported inside, and a failure of the run itself ends
// it under "Load Files to Convert". A call while another run is in progress (from an event
// handled during a conversion) is refused at once.
RunSummary RunJob(Context& context);

} // namespace qm
