#pragma once

#include "ui/WindowLayout.h"

#include <array>
#include <string_view>

namespace qm::ui {

// Where the window's position and outer size are kept between runs, in twips, as text.
inline constexpr const char* PositionApplication = "Quillmarch";
inline constexpr const char* PositionSection = "Window";

struct PositionValue {
    const char* key;
    long long defaultValue;
};
// In the order load applies them and unload writes them.
inline constexpr std::array<PositionValue, 4> PositionValues = {{
    {"left", 105},
    {"top", 105},
    {"width", 5835},
    {"height", 7170},
}};

// The number a stored value stands for: blanks around it are allowed, a fraction is rounded
// with a half going to the even neighbour. Raises error 13 "Type mismatch" for text that is
// no number and error 6 "Overflow" for one beyond a signed 32-bit number.
long long ParsePositionValue(std::string_view text);

// A placement the user can reach on `screen`: the size at least one inch each way and at most
// the screen's, and a window that lies wholly off the screen, or whose top edge (the title
// bar) is above or below it, moved back onto it. A reachable placement is kept as it is.
TwipsRect ReachablePlacement(TwipsRect window, const TwipsRect& screen);

} // namespace qm::ui
