#pragma once

#include "platform/Geometry.h"

namespace zg::pairing {

// The pairing window's fixed geometry, in points with the origin at the window's bottom left.
inline constexpr double kWidth = 300, kHeight = 336;
inline constexpr Rect kCard{30, 52, 240, 240};      // the white card behind the code
inline constexpr Rect kCodeInCard{6, 6, 228, 228};  // the code inside the card
inline constexpr int kCodeBitmapPixels = 456;       // twice the code's 228 points
inline constexpr double kCardCornerRadius = 10;
inline constexpr double kStatusFontPoints = 13;

// How many bitmap pixels each module of a code `modules` wide gets: the same whole number on
// both axes, so every module stays square and sharp, and the code fits 456 pixels.
int moduleScale(int modules);

// Where the status dot and its label go: one group, dot, 8-point gap, label, centred
// horizontally (overflowing both edges alike when too wide) and centred on height 27.5.
struct StatusGroup {
    Rect dot;
    Rect label;
};
StatusGroup statusGroup(double labelWidth, double labelHeight);

// `r` with the origin moved to the top left, as toolkits with y growing downwards place it.
Rect fromTop(const Rect& r, double containerHeight);

}  // namespace zg::pairing
