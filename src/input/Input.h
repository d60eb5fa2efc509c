#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Keyboard.h"
#include "platform/Loop.h"
#include "platform/Pointer.h"

namespace zg {

// Turns the phone's gestures into pointer and keyboard events: speed and acceleration with
// fractional remainders, clamping to the displays, click series, drags, wheel steps, named
// keys with modifiers and text typed one character at a time.
// Threading: main thread only.
class Input {
public:
    Input(const Loop& loop, Pointer& pointer, Keyboard& keyboard)
        : loop_(loop), pointer_(pointer), keyboard_(keyboard) {}

    double speed = 1.0;
    // Told the target of every pointer event posted; `pulse` is true for button events.
    std::function<void(Point at, bool pulse)> onPointer;

    // True while the left button is held by hold(true).
    bool dragging() const { return dragging_; }

    // A relative movement as the phone measured it.
    void move(double dx, double dy);
    // A left or right click where the pointer is; a left click during a drag ends the drag.
    void click(bool right);
    // Presses (starting a drag) or lets go of the left button.
    void hold(bool down);
    // Ends a drag, if one is in progress.
    void release();
    // A vertical scroll as the phone measured it.
    void scroll(double dy);

    // Types `utf8` one user-perceived character at a time; a line break presses Return.
    void text(std::string_view utf8);
    // Presses a named key or a single letter or digit with the phone's modifier names
    // ("ctrl", "alt", "shift", "win"). Any other key is typed as text when it comes alone
    // and dropped when it comes with modifiers.
    void key(std::string_view name, const std::vector<std::string>& mods);

private:
    int countClick();
    void notify(Point at, bool pulse);
    void press(Key key, Modifiers modifiers);

    const Loop& loop_;
    Pointer& pointer_;
    Keyboard& keyboard_;
    bool dragging_ = false;
    double fx_ = 0, fy_ = 0;      // movement not yet applied, each in (-1, 1)
    double wheel_ = 0;            // scrolling not yet posted, in (-1, 1)
    Seconds lastClick_ = -1e300;  // the distant past: the first press always starts a series
    int clicks_ = 0;
};

}  // namespace zg
