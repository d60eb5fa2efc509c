// GoogleTest first: it cannot take the macros Xlib defines (None, Bool).
#include "X11Fixture.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <set>

#include "platform/x11/KeySyms.h"
#include "platform/x11/X11Keyboard.h"

namespace zg::test {
namespace {

using KeyboardTest = X11Fixture;

std::vector<KeySym> keysyms(const std::vector<Received>& events) {
    std::vector<KeySym> out;
    for (const auto& e : events) out.push_back(e.keysym);
    return out;
}

struct Mapping {
    int min = 0;
    int columns = 0;
    std::vector<KeySym> keysyms;
    bool operator==(const Mapping&) const = default;

    bool free(unsigned keycode) const {
        const auto row = keysyms.begin() + (keycode - min) * columns;
        return std::all_of(row, row + columns, [](KeySym k) { return k == NoSymbol; });
    }
};

Mapping serverMapping(Display* dpy) {
    Mapping m;
    int max = 0;
    XDisplayKeycodes(dpy, &m.min, &max);
    KeySym* syms = XGetKeyboardMapping(dpy, m.min, max - m.min + 1, &m.columns);
    m.keysyms.assign(syms, syms + (max - m.min + 1) * m.columns);
    XFree(syms);
    return m;
}

TEST_F(KeyboardTest, ModifiersGoDownAroundTheKeyAndComeUpAfterIt) {
    auto keyboard = std::make_unique<X11Keyboard>(*display, loop);
    keyboard->key(Key::A, kCommand, true);
    keyboard->key(Key::A, kCommand, false);
    keyboard->key(Key::A, kCommand | kControl | kOption | kShift, true);
    keyboard->key(Key::A, kCommand | kControl | kOption | kShift, false);
    display->sync();
    recorder->drain();

    const auto presses = recorder->of(KeyPress), releases = recorder->of(KeyRelease);
    EXPECT_EQ(keysyms(presses), (std::vector<KeySym>{XK_Control_L, XK_a, XK_Control_L, XK_Super_L,
                                                     XK_Alt_L, XK_Shift_L, XK_A}));
    EXPECT_EQ(keysyms(releases).front(), XK_a);
    EXPECT_EQ(presses[1].state, unsigned(ControlMask));
    EXPECT_EQ(presses[6].state, unsigned(ControlMask | Mod4Mask | Mod1Mask | ShiftMask));
    EXPECT_EQ(releases.size(), presses.size());
    EXPECT_FALSE(recorder->anyKeyDown());

    // A press whose up half never comes is let go before the next one, or on destruction.
    recorder->events.clear();
    keyboard->key(Key::Tab, kOption, true);
    keyboard->key(Key::Q, kCommand, true);
    display->sync();
    recorder->drain();
    EXPECT_EQ(keysyms(recorder->of(KeyRelease)), (std::vector<KeySym>{XK_Tab, XK_Alt_L}));
    keyboard.reset();
    EXPECT_FALSE(recorder->anyKeyDown());
}

TEST_F(KeyboardTest, EveryKeyArrivesAsItsKeysym) {
    X11Keyboard keyboard(*display, loop);
    std::vector<KeySym> expected;
    for (int value = 0; value <= UINT8_MAX; ++value) {
        const auto key = static_cast<Key>(value);
        if (const uint32_t keysym = keysymFor(key)) {
            expected.push_back(keysym);
            keyboard.key(key, 0, true);
            keyboard.key(key, 0, false);
        }
    }
    display->sync();
    recorder->drain();
    EXPECT_EQ(keysyms(recorder->of(KeyPress)), expected);
}

TEST_F(KeyboardTest, TypesCharactersOnTheKeysThatCarryThem) {
    X11Keyboard keyboard(*display, loop);
    for (const char* c : {"a", "A", "!", "\r\n", "\xff", "\xed\xa0\x80", "e\xcc\x81"}) {
        keyboard.character(c, true);
        keyboard.character(c, false);
    }
    display->sync();
    recorder->drain();
    const auto presses = recorder->of(KeyPress);
    // Invalid UTF-8 and a surrogate type nothing; e with a combining acute types both.
    EXPECT_EQ(keysyms(presses), (std::vector<KeySym>{XK_a, XK_Shift_L, XK_A, XK_Shift_L, XK_exclam,
                                                     XK_Return, XK_e, 0x1000301}));
    EXPECT_FALSE(recorder->anyKeyDown());

    // With Caps Lock on, letters still arrive in the case asked for.
    XkbLockModifiers(recorder->display(), XkbUseCoreKbd, LockMask, LockMask);
    recorder->drain();
    recorder->events.clear();
    keyboard.character("a", true);
    keyboard.character("B", true);
    display->sync();
    recorder->drain();
    EXPECT_EQ(keysyms(recorder->of(KeyRelease)), (std::vector<KeySym>{XK_a, XK_Shift_L, XK_B}));
}

TEST_F(KeyboardTest, BorrowsFreeKeycodesForMissingCharactersReusesThemAndGivesThemBack) {
    // A keycode with a keysym at its shifted level only is not free.
    Display* dpy = recorder->display();
    const Mapping initial = serverMapping(dpy);
    int halfUsed = initial.min;
    while (!initial.free(halfUsed)) ++halfUsed;
    KeySym shiftedOnly[] = {NoSymbol, XK_F35};
    XChangeKeyboardMapping(dpy, halfUsed, 2, shiftedOnly, 1);
    const Mapping before = serverMapping(dpy);
    X11Keyboard keyboard(*display, loop);
    const auto type = [&](const std::string& c) {
        keyboard.character(c, true);
        display->sync();
        recorder->drain();  // read before the next binding, as a responsive client would
        const auto presses = recorder->of(KeyPress);
        return presses.empty() ? Received{} : presses.back();
    };
    const Received z = type("\xc5\xbe");
    EXPECT_EQ(z.keysym, 0x100017eu);
    EXPECT_EQ(type("\xf0\x9f\x98\x80").keysym, 0x101f600u);
    EXPECT_EQ(type("\xc5\xbe").keycode, z.keycode);  // still bound: no new mapping change

    // Once typing pauses every borrowed keycode is free again.
    loop.advance(SpareKeycodes::kHold / 2);
    type("\xc5\xbe");  // typed again: the pause starts anew
    loop.advance(SpareKeycodes::kHold / 2);
    EXPECT_NE(serverMapping(dpy), before);
    loop.advance(SpareKeycodes::kHold / 2);
    EXPECT_EQ(serverMapping(dpy), before);

    // More characters than spares: the oldest bindings are reused. Cyrillic is not on the keymap.
    std::set<unsigned> keycodes;
    for (char32_t c = 0x430; c < 0x430 + 2 * SpareKeycodes::kMaxBindings; ++c) {
        const Received e = type({char(0xc0 | c >> 6), char(0x80 | (c & 0x3f))});
        ASSERT_EQ(e.keysym, 0x1000000 + c);
        EXPECT_TRUE(before.free(e.keycode)) << e.keycode;
        keycodes.insert(e.keycode);
    }
    EXPECT_EQ(keycodes.size(), SpareKeycodes::kMaxBindings);
    loop.advance(SpareKeycodes::kHold);
    EXPECT_EQ(serverMapping(dpy), before);
    EXPECT_FALSE(recorder->anyKeyDown());
}

}  // namespace
}  // namespace zg::test
