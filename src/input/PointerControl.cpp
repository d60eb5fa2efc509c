// The pointer half of Input: moves with acceleration, clicks and their series, drags, wheel.
#include <algorithm>
#include <cmath>

#include "input/Input.h"

namespace zg {
namespace {

constexpr double kAccelerationBase = 1.4;
constexpr double kAccelerationDivisor = 14.0;
constexpr double kAccelerationCap = 2.2;  // reached at a delta length of 30.8
constexpr int kMaxClicks = 3;
constexpr double kScrollFactor = -2.2;
constexpr double kEdgeInset = 1.0;  // keeps the pointer on the last pixel, not past it

// The furthest one move may go: wider than any desktop, so an absurd delta or speed lands on
// the edge like a very fast swipe would.
constexpr double kMaxStep = 100000;
// The most one scroll may post: a few screens, beyond any real swipe. The excess is dropped,
// not kept, so a wild delta does not go on scrolling through the commands after it.
constexpr double kMaxScrollPixels = 2000;

// An accumulation bounded to +-limit; one that overflowed into NaN (infinity times a zero
// speed) counts as no movement.
double bounded(double value, double limit) {
    return std::isnan(value) ? 0.0 : std::clamp(value, -limit, limit);
}

}  // namespace

void Input::move(double dx, double dy) {
    if (!std::isfinite(dx) || !std::isfinite(dy)) return;
    const double a =
        kAccelerationBase + std::min(std::hypot(dx, dy) / kAccelerationDivisor, kAccelerationCap);
    fx_ = bounded(fx_ + dx * a * speed, kMaxStep);
    fy_ = bounded(fy_ + dy * a * speed, kMaxStep);
    const double ix = std::trunc(fx_), iy = std::trunc(fy_);
    fx_ -= ix;
    fy_ -= iy;
    if (ix == 0 && iy == 0) return;

    const Point from = pointer_.location();
    Point to{from.x + ix, from.y + iy};
    Rect desktop;
    for (const Rect& display : pointer_.displays()) desktop = desktop.united(display);
    if (desktop.empty()) {
        // No display is known (the query failed, or a monitor is being swapped): following
        // the phone is what the user expects, so move unclamped, except that only a known
        // display could justify coordinates left of or above the primary display's origin.
        to = {std::max(to.x, 0.0), std::max(to.y, 0.0)};
    } else {
        to.x = std::max(desktop.x, std::min(to.x, desktop.right() - kEdgeInset));
        to.y = std::max(desktop.y, std::min(to.y, desktop.bottom() - kEdgeInset));
    }
    pointer_.moveTo(to, dragging_, clicks_);
    notify(to, false);
}

void Input::click(bool right) {
    const Point at = pointer_.location();
    if (right) {
        // Right clicks stand apart from the left-click series and never break it.
        pointer_.button(MouseButton::Right, true, at, 1);
        pointer_.button(MouseButton::Right, false, at, 1);
    } else if (dragging_) {
        pointer_.button(MouseButton::Left, false, at, clicks_);
        dragging_ = false;
    } else {
        const int n = countClick();
        pointer_.button(MouseButton::Left, true, at, n);
        pointer_.button(MouseButton::Left, false, at, n);
    }
    notify(at, true);
}

void Input::hold(bool down) {
    if (down == dragging_) return;
    dragging_ = down;
    const Point at = pointer_.location();
    pointer_.button(MouseButton::Left, down, at, down ? countClick() : clicks_);
    notify(at, true);
}

void Input::release() {
    hold(false);
}

void Input::scroll(double dy) {
    if (!std::isfinite(dy)) return;
    wheel_ = bounded(wheel_ + dy * kScrollFactor, kMaxScrollPixels);
    const double n = std::trunc(wheel_);
    if (n == 0) return;
    wheel_ -= n;
    pointer_.scroll(static_cast<int>(n));
}

int Input::countClick() {
    const Seconds now = loop_.now();
    clicks_ =
        now - lastClick_ < pointer_.doubleClickInterval() ? std::min(clicks_ + 1, kMaxClicks) : 1;
    lastClick_ = now;
    return clicks_;
}

void Input::notify(Point at, bool pulse) {
    if (onPointer) onPointer(at, pulse);
}

}  // namespace zg
