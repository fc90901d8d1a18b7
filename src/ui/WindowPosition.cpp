#include "ui/WindowPosition.h"

#include "platform/Error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace qm::ui {

namespace {

constexpr long long SmallestSide = 1440;

} // namespace

long long ParsePositionValue(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || end != text.data() + text.size() || ec == std::errc::invalid_argument ||
        !std::isfinite(value) || text.front() == '+')
        throw Error(errnum::TypeMismatch, "Quillmarch", "Type mismatch");
    const double rounded = std::nearbyint(value); // the default mode: a half goes to even
    if (ec == std::errc::result_out_of_range ||
        rounded < double(std::numeric_limits<std::int32_t>::min()) ||
        rounded > double(std::numeric_limits<std::int32_t>::max()))
        throw Error(errnum::Overflow, "Quillmarch", "Overflow");
    return static_cast<long long>(rounded);
}

TwipsRect ReachablePlacement(TwipsRect window, const TwipsRect& screen) {
    window.width = std::clamp(window.width, std::min(SmallestSide, screen.width), screen.width);
    window.height = std::clamp(window.height, std::min(SmallestSide, screen.height), screen.height);
    const long long screenRight = screen.left + screen.width;
    const long long screenBottom = screen.top + screen.height;
    const bool offHorizontally =
        window.left + window.width <= screen.left || window.left >= screenRight;
    if (offHorizontally)
        window.left = std::clamp(window.left, screen.left, screenRight - window.width);
    // The title bar lies along the top edge: it must be on the screen to drag the window.
    if (window.top < screen.top || window.top >= screenBottom)
        window.top = std::clamp(window.top, screen.top, screenBottom - window.height);
    return window;
}

} // namespace qm::ui
