#pragma once

#include <cstdint>
#include <vector>

#include "platform/Loop.h"
#include "platform/x11/KeyboardMapping.h"
#include "platform/x11/X11Display.h"

namespace zg {

// Keycodes borrowed from the unused part of the keyboard mapping to type keysyms that no key
// carries. A binding outlives its key press: clients look the keycode up when they read the
// event, which may be after the press is done, and would find nothing if the keycode were
// restored at once. So bindings go back to NoSymbol once typing has paused for kHold, and
// always on destruction.
// Threading: main thread only.
class SpareKeycodes {
public:
    // Long enough for a sluggish client to read its events, short enough that the keymap is
    // soon as it was.
    static constexpr Seconds kHold = 2.0;
    // The most keycodes held at once; past it the least recently used binding is reused.
    static constexpr size_t kMaxBindings = 10;

    SpareKeycodes(X11Display& display, Loop& loop);
    ~SpareKeycodes();
    SpareKeycodes(const SpareKeycodes&) = delete;
    SpareKeycodes& operator=(const SpareKeycodes&) = delete;

    // A keycode that types `keysym` at its first level, bound now if none of ours does; 0 when
    // no keycode is free. `mapping` is the server's current one, and is updated on binding.
    unsigned keycodeFor(uint32_t keysym, KeyboardMapping& mapping);

    // Notes that `keycode` was typed; if it is one of ours it stays bound for another kHold.
    void used(unsigned keycode);

    // Returns every binding that still holds our keysym to NoSymbol.
    void restoreAll();

private:
    struct Binding {
        unsigned keycode;
        uint32_t keysym;
        uint64_t lastUse;
    };

    unsigned pickKeycode(const KeyboardMapping& mapping);
    void touch(Binding& binding);

    X11Display& display_;
    Loop& loop_;
    std::vector<Binding> bindings_;
    uint64_t uses_ = 0;
    ScheduledHandle restore_;
};

}  // namespace zg
