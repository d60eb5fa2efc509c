#include "ui/PairingLayout.h"

namespace zg::pairing {

namespace {
constexpr double kDotSize = 7, kDotGap = 8, kStatusCentreY = 27.5;
}

int moduleScale(int modules) {
    return modules > 0 ? kCodeBitmapPixels / modules : 0;
}

StatusGroup statusGroup(double labelWidth, double labelHeight) {
    const double x = (kWidth - (labelWidth + kDotSize + kDotGap)) * 0.5;
    return {.dot = {x, kStatusCentreY - kDotSize / 2, kDotSize, kDotSize},
            .label = {x + kDotSize + kDotGap, kStatusCentreY - labelHeight * 0.5, labelWidth,
                      labelHeight}};
}

Rect fromTop(const Rect& r, double containerHeight) {
    return {r.x, containerHeight - r.y - r.height, r.width, r.height};
}

}  // namespace zg::pairing
