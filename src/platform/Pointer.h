#pragma once

#include <vector>

#include "platform/Geometry.h"
#include "platform/Loop.h"

namespace zg {

enum class MouseButton { Left, Right };

// Posts pointer events into the desktop as if they came from a mouse, and reads where the
// pointer and the displays are. The core decides every event; this only executes them.
// Threading: main thread only. A failing platform call skips that event silently.
class Pointer {
public:
    virtual ~Pointer() = default;

    // The pointer's position; (0, 0) when it cannot be read.
    virtual Point location() = 0;
    // The bounds of every active display, in global coordinates; empty when there is none.
    virtual std::vector<Rect> displays() = 0;

    // Moves the pointer to `to`; `leftHeld` tells a drag from a plain move. `clickCount` is
    // the count of the current click series, for platforms whose events carry it.
    virtual void moveTo(Point to, bool leftHeld, int clickCount) = 0;
    // Presses or lets go of `button` at `at`.
    virtual void button(MouseButton button, bool down, Point at, int clickCount) = 0;
    // Scrolls by a distance in pixels; positive moves the view towards the top of the page,
    // like a wheel turned away from the user.
    virtual void scroll(int pixels) = 0;

    // The user's double-click interval.
    virtual Seconds doubleClickInterval() = 0;
};

}  // namespace zg
