#pragma once

#include "platform/Clock.h"

namespace qm {

// The machine's local time, in the zone that TZ names at the moment of the call.
class SystemClock : public Clock {
public:
    LocalTime now() override;
};

} // namespace qm
