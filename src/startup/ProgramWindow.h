#pragma once

#include "platform/Host.h"

namespace qm {

struct Context;

// The main window as start-up drives it. The composition root builds it from the window
// layer, so start-up never sees the toolkit.
class ProgramWindow {
public:
    virtual ~ProgramWindow() = default;

    // What the person at the window sees and answers; usable before load().
    virtual Host& host() = 0;

    // Creates the window without showing it and runs its load: the job's defaults and the
    // stored position. A failure of the load is reported inside, under "Program Load".
    virtual void load(Context& context) = 0;

    virtual void show() = 0;

    // Handles the window's events until the window is closed.
    virtual void runUntilClosed() = 0;

    // Closes the window as its close box does; its unload runs.
    virtual void close() = 0;
};

} // namespace qm
