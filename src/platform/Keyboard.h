#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace zg {

// The keys the phone can press, by the names the phone gives them. Each desktop layer maps
// them to its own key codes in an exhaustive switch, which the compiler checks against this list.
enum class Key : uint16_t {
    A,
    B,
    C,
    D,
    E,
    F,
    G,
    H,
    I,
    J,
    K,
    L,
    M,
    N,
    O,
    P,
    Q,
    R,
    S,
    T,
    U,
    V,
    W,
    X,
    Y,
    Z,
    Digit0,
    Digit1,
    Digit2,
    Digit3,
    Digit4,
    Digit5,
    Digit6,
    Digit7,
    Digit8,
    Digit9,
    Return,
    Tab,
    Space,
    Backspace,
    Escape,
    Home,
    PageUp,
    ForwardDelete,
    End,
    PageDown,
    ArrowLeft,
    ArrowRight,
    ArrowDown,
    ArrowUp,
};

// The modifier keys, by the phone's names for them. Each desktop layer decides what they
// press: "ctrl" is Control on Linux (Command on a Mac), "win" is Super (Control on a Mac).
enum ModifierFlag : uint32_t {
    kShift = 1 << 0,
    kCtrl = 1 << 1,
    kAlt = 1 << 2,
    kWin = 1 << 3,
};
using Modifiers = uint32_t;

// Posts keyboard events into the desktop. The core decides which; this only executes them.
// Threading: main thread only. A failing platform call skips that event silently.
class Keyboard {
public:
    virtual ~Keyboard() = default;

    // Presses (down) or releases `key` with exactly `modifiers` in force. Platforms without
    // per-event flags press the modifier keys with the key's down and release them after its up.
    virtual void key(Key key, Modifiers modifiers, bool down) = 0;

    // Delivers one user-perceived character (UTF-8) whatever the keyboard layout, as the down
    // or up half of a key press; one the desktop is known to have no key for is not sent, and
    // is told to onUntypable instead.
    virtual void character(std::string_view utf8, bool down) = 0;

    // Told each character that was not typed because the desktop has no key for it; may be
    // absent. Desktops that can type anything never call it.
    std::function<void(std::string_view utf8)> onUntypable;
};

}  // namespace zg
