#include "ui/Ring.h"

namespace zg {

Point Ring::origin(Point point, std::optional<double> flipHeight) {
    const double half = kSize / 2;
    if (flipHeight) return {point.x - half, *flipHeight - point.y - half};
    return {point.x - half, point.y - half};
}

void Ring::at(Point point, bool pulse) {
    view_.moveTo(origin(point, view_.flipHeight()));
    view_.showOpaque();
    fade_ = loop_.later(kFadeDelay, [this] { view_.fadeOut(kFadeDuration); });
    if (pulse) view_.pulse(kPulseWidth, kPulseDuration);
}

void Ring::off() {
    fade_ = {};
    view_.hideNow();
}

}  // namespace zg
