#include "ui/Twips.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace qm::ui {

int TwipsToPixels(long long twips, double dotsPerInch) {
    const double pixels = std::round(static_cast<double>(twips) * dotsPerInch / TwipsPerInch);
    return static_cast<int>(std::clamp(pixels, double(INT_MIN), double(INT_MAX)));
}

long long PixelsToTwips(int pixels, double dotsPerInch) {
    return std::llround(static_cast<double>(pixels) * TwipsPerInch / dotsPerInch);
}

} // namespace qm::ui
