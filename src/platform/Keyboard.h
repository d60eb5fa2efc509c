#pragma once

#include <cstdint>
#include <string_view>

namespace zg {

// The keys the phone can press. Values are the virtual key codes of the ANSI layout that
// macOS uses, so a macOS layer posts them as they are; other platforms map each one in an
// exhaustive switch, which the compiler checks against this list.
enum class Key : uint16_t {
    A = 0,
    S = 1,
    D = 2,
    F = 3,
    H = 4,
    G = 5,
    Z = 6,
    X = 7,
    C = 8,
    V = 9,
    B = 11,
    Q = 12,
    W = 13,
    E = 14,
    R = 15,
    Y = 16,
    T = 17,
    Digit1 = 18,
    Digit2 = 19,
    Digit3 = 20,
    Digit4 = 21,
    Digit6 = 22,
    Digit5 = 23,
    Digit9 = 25,
    Digit7 = 26,
    Digit8 = 28,
    Digit0 = 29,
    O = 31,
    U = 32,
    I = 34,
    P = 35,
    L = 37,
    J = 38,
    K = 40,
    N = 45,
    M = 46,
    Return = 36,
    Tab = 48,
    Space = 49,
    Backspace = 51,
    Escape = 53,
    Home = 115,
    PageUp = 116,
    ForwardDelete = 117,
    End = 119,
    PageDown = 121,
    ArrowLeft = 123,
    ArrowRight = 124,
    ArrowDown = 125,
    ArrowUp = 126,
};

// Modifier flags; the values are macOS's event flag masks. The phone's "ctrl" sets kCommand
// and its "win" kControl, so on Linux kCommand presses Control and kControl presses Super.
enum ModifierFlag : uint32_t {
    kShift = 0x20000,
    kControl = 0x40000,
    kOption = 0x80000,  // Alt
    kCommand = 0x100000,
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
    // or up half of a key press.
    virtual void character(std::string_view utf8, bool down) = 0;
};

}  // namespace zg
