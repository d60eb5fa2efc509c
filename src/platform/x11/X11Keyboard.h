#pragma once

#include <vector>

#include "platform/Keyboard.h"
#include "platform/Loop.h"
#include "platform/x11/SpareKeycodes.h"
#include "platform/x11/X11Display.h"

namespace zg {

// Keyboard events through XTest. Named keys use the keycodes of the current layout; any other
// character uses the key that carries it, or else a spare keycode bound to it for a while.
// Threading: main thread only, like the display it uses.
class X11Keyboard : public Keyboard {
public:
    X11Keyboard(X11Display& display, Loop& loop);
    // Lets go of any key still held; the spare keycodes are restored.
    ~X11Keyboard() override;

    void key(Key key, Modifiers modifiers, bool down) override;
    // The whole character is typed on the down half; the up half posts nothing. A character
    // of several code points has no single key to hold, and typing it at once leaves nothing
    // held if the up half never comes.
    void character(std::string_view utf8, bool down) override;

private:
    // What decides which level of a key a press produces, besides the keys pressed with it.
    struct LockState {
        int group = 0;
        bool capsLock = false;
    };

    LockState lockState();
    void press(Key key, Modifiers modifiers);
    void typeKeysym(uint32_t keysym, KeyboardMapping& mapping, const LockState& lock);
    void post(unsigned keycode, bool down);
    void releaseHeld();

    X11Display& display_;
    SpareKeycodes spares_;
    std::vector<unsigned> held_;  // keycodes pressed by key(), in the order pressed
};

}  // namespace zg
