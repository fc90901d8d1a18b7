#include "platform/posix/SystemClock.h"

#include <ctime>

namespace qm {

LocalTime SystemClock::now() {
    // localtime_r need not look at TZ again; tzset makes a changed zone apply.
    tzset();
    const std::time_t seconds = std::time(nullptr);
    std::tm parts{};
    if (!localtime_r(&seconds, &parts))
        gmtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

} // namespace qm
