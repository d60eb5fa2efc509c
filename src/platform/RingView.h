#pragma once

#include "platform/Geometry.h"
#include "platform/Loop.h"

#include <optional>

namespace zg {

// The overlay window that draws the ring around the pointer: 76 by 76 points, click-through,
// above every other window on every workspace. Ring decides when; this draws.
// Threading: main thread only.
class RingView {
public:
    virtual ~RingView() = default;

    // The window system's height of the primary screen when its y axis grows upwards (then
    // positions are flipped against it); nothing when y grows downwards, as on X11.
    virtual std::optional<double> flipHeight() const = 0;
    // Moves the window's origin, in the window system's coordinates.
    virtual void moveTo(Point origin) = 0;
    // Fully opaque at once, brought above other windows without taking the focus.
    virtual void showOpaque() = 0;
    // Fades to transparent over `duration`.
    virtual void fadeOut(Seconds duration) = 0;
    // Transparent at once.
    virtual void hideNow() = 0;
    // Thickens the ring's stroke to `fromWidth` and lets it return to normal over `duration`;
    // a pulse still running restarts.
    virtual void pulse(double fromWidth, Seconds duration) = 0;
};

}  // namespace zg
