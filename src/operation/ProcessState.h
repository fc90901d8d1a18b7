#pragma once

#include <string>

namespace qm {

// The process-wide flags that start-up sets from the command line.
struct ProcessState {
    bool serviceMode = false;
    bool manualMode = false;
    std::string commandLineConfigFile;
    // Set while RunJob runs, so that a run asked for from an event handled during a
    // conversion is refused instead of working on the same files.
    bool jobRunning = false;
    // Set when the service is told to stop: a run in progress finishes the index file at
    // hand and starts no other.
    bool stopRequested = false;
};

} // namespace qm
