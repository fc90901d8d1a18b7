#pragma once

namespace qm::ui {

// Positions and sizes of the window are kept in twips, 1440 to the inch; the screen's
// logical resolution turns them into pixels (15 twips to a pixel at 96 dots per inch).
inline constexpr int TwipsPerInch = 1440;

// Rounded to the nearest pixel or twip; `dotsPerInch` must be positive.
int TwipsToPixels(long long twips, double dotsPerInch);
long long PixelsToTwips(int pixels, double dotsPerInch);

} // namespace qm::ui
