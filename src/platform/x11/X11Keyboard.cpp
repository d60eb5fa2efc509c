#include "platform/x11/X11Keyboard.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>

#include "platform/xkb/KeySyms.h"

namespace zg {
namespace {

// The keys pressed for each modifier, in the order they go down.
constexpr struct {
    ModifierFlag flag;
    KeySym keysym;
} kModifierKeys[] = {
    {kCtrl, XK_Control_L},
    {kWin, XK_Super_L},
    {kAlt, XK_Alt_L},
    {kShift, XK_Shift_L},
};

// Whether the key's two levels are the lower and upper case of one letter, which Caps Lock
// swaps.
bool caseSwapped(uint32_t plain, uint32_t shifted) {
    KeySym lower = NoSymbol, upper = NoSymbol;
    XConvertCase(plain, &lower, &upper);
    return lower == plain && upper == shifted && lower != upper;
}

}  // namespace

X11Keyboard::X11Keyboard(X11Display& display, Loop& loop)
    : display_(display), spares_(display, loop) {}

X11Keyboard::~X11Keyboard() {
    releaseHeld();
    display_.sync();
}

void X11Keyboard::key(Key key, Modifiers modifiers, bool down) {
    display_.flush();
    // Whatever an earlier press left down goes up first, so no key is ever left held.
    releaseHeld();
    if (down) press(key, modifiers);
    display_.flush();
}

void X11Keyboard::press(Key key, Modifiers modifiers) {
    Display* dpy = display_.get();
    std::vector<unsigned> keycodes;
    for (const auto& modifier : kModifierKeys) {
        if (!(modifiers & modifier.flag)) continue;
        keycodes.push_back(XKeysymToKeycode(dpy, modifier.keysym));
    }
    keycodes.push_back(XKeysymToKeycode(dpy, keysymFor(key)));
    // Without one of its modifiers a shortcut would become a different command: post nothing.
    if (std::find(keycodes.begin(), keycodes.end(), 0u) != keycodes.end()) return;
    for (unsigned keycode : keycodes) post(keycode, true);
    held_ = std::move(keycodes);
}

void X11Keyboard::character(std::string_view utf8, bool down) {
    // Without XTest nothing could be typed, so the keymap is left alone too.
    if (!down || !display_.hasXTest()) return;
    display_.flush();
    releaseHeld();
    KeyboardMapping mapping = KeyboardMapping::fetch(display_);
    const LockState lock = lockState();
    char32_t previous = 0;
    for (char32_t c : codePoints(utf8)) {
        // A CR LF pair is one line break.
        const bool lineFeedAfterReturn = c == U'\n' && previous == U'\r';
        previous = c;
        if (lineFeedAfterReturn) continue;
        if (const uint32_t keysym = keysymForCodePoint(c)) typeKeysym(keysym, mapping, lock);
    }
    display_.flush();
}

void X11Keyboard::typeKeysym(uint32_t keysym, KeyboardMapping& mapping, const LockState& lock) {
    // The core mapping shows the first two groups; in any other a borrowed keycode is used,
    // which types the same in every group.
    int plain = 2 * lock.group;
    unsigned keycode = 0;
    if (lock.group < 2) {
        keycode = mapping.find(keysym, plain);
        if (keycode == 0) keycode = mapping.find(keysym, plain + 1);
    }
    if (keycode != 0) {
        spares_.used(keycode);
    } else {
        keycode = spares_.keycodeFor(keysym, mapping);
        plain = 0;
    }
    if (keycode == 0) return;
    bool shift = mapping.at(keycode, plain) != keysym;
    if (lock.capsLock && caseSwapped(mapping.at(keycode, plain), mapping.at(keycode, plain + 1))) {
        shift = !shift;
    }
    const unsigned shiftKeycode = XKeysymToKeycode(display_.get(), XK_Shift_L);
    if (shift && shiftKeycode == 0) return;  // that level cannot be reached
    if (shift) post(shiftKeycode, true);
    post(keycode, true);
    post(keycode, false);
    if (shift) post(shiftKeycode, false);
}

X11Keyboard::LockState X11Keyboard::lockState() {
    XkbStateRec state{};
    if (XkbGetState(display_.get(), XkbUseCoreKbd, &state) != Success) return {};
    return {state.group, (state.locked_mods & LockMask) != 0};
}

void X11Keyboard::post(unsigned keycode, bool down) {
    if (display_.hasXTest()) XTestFakeKeyEvent(display_.get(), keycode, down, CurrentTime);
}

void X11Keyboard::releaseHeld() {
    // The key goes up first, then its modifiers.
    for (auto it = held_.rbegin(); it != held_.rend(); ++it) post(*it, false);
    held_.clear();
}

}  // namespace zg
