#pragma once

#include <cstdint>

namespace zg {

// The input events a remote-desktop session takes: the calls of the desktop portal's
// RemoteDesktop interface, in Linux input (evdev) codes and XKB keysyms.
// Threading: main thread only. Calls made while the session cannot take them do nothing.
class RemoteInput {
public:
    virtual ~RemoteInput() = default;

    // Moves the pointer to (x, y) in logical pixels of the stream `node` shows.
    virtual void motionAbsolute(uint32_t node, double x, double y) = 0;
    virtual void button(int evdevCode, bool down) = 0;
    // Wheel notches; positive scrolls down (or right), as a wheel turned towards the user.
    virtual void axisDiscrete(bool horizontal, int notches) = 0;
    virtual void keycode(int evdevCode, bool down) = 0;
    virtual void keysym(uint32_t keysym, bool down) = 0;
};

}  // namespace zg
