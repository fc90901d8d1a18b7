#pragma once

#include <string>

namespace qm {

// The process-wide flags that start-up sets from the command line.
struct ProcessState {
    bool serviceMode = false;
    bool manualMode = false;
    std::string commandLineConfigFile;
};

} // namespace qm
