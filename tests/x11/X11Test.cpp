// GoogleTest first: it cannot take the macros Xlib defines (None, Bool).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include <climits>
#include <set>

#include "ManualLoop.h"
#include "Picture.h"
#include "Recorder.h"
#include "XvfbServer.h"
#include "platform/x11/KeyboardMapping.h"
#include "platform/x11/X11Capture.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/XSettings.h"

namespace zg::test {
namespace {

// A private X server, the connection under test and a focused window recording what arrives.
class X11Test : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
        std::string error;
        display = X11Display::open(server.name().c_str(), error);
        ASSERT_TRUE(display) << error;
        recorder = std::make_unique<Recorder>(server.name());
        ASSERT_NE(recorder->display(), nullptr);
    }

    // What arrived since the last call, read before any later binding of a spare keycode as a
    // responsive client would.
    std::vector<Received> received() {
        display->sync();
        recorder->drain();
        return std::exchange(recorder->events, {});
    }
    // The same as "+a -a" for a key pressed and released, "+1@30,40" for a button there.
    std::string take() {
        std::string out;
        for (const Received& e : received()) {
            const char* name = XKeysymToString(e.keysym);
            out += std::string(out.empty() ? "" : " ") +
                   (e.type == KeyRelease || e.type == ButtonRelease ? "-" : "+") +
                   (e.type == KeyPress || e.type == KeyRelease
                        ? (name ? name : "?")
                        : std::to_string(e.button) + "@" + std::to_string(e.x) + "," +
                              std::to_string(e.y));
        }
        return out;
    }

    XvfbServer server;
    ManualLoop loop;
    std::unique_ptr<X11Display> display;
    std::unique_ptr<Recorder> recorder;
};

TEST_F(X11Test, ModifiersGoDownBeforeTheKeyAndUpAfterIt) {
    auto keyboard = std::make_unique<X11Keyboard>(*display, loop);
    keyboard->key(Key::A, kCtrl | kWin | kAlt | kShift, true);
    keyboard->key(Key::A, kCtrl | kWin | kAlt | kShift, false);
    keyboard->key(Key::Tab, kAlt, true);
    keyboard->key(Key::Q, kCtrl, true);  // Tab's up half never came: it goes up first
    keyboard.reset();                    // and Q on destruction
    EXPECT_EQ(take(),
              "+Control_L +Super_L +Alt_L +Shift_L +A -A -Shift_L -Alt_L -Super_L -Control_L "
              "+Alt_L +Tab -Tab -Alt_L +Control_L +q -q -Control_L");
    EXPECT_FALSE(recorder->anyKeyDown());
}

TEST_F(X11Test, CharactersArriveInTheCaseAskedForEvenUnderCapsLock) {
    X11Keyboard keyboard(*display, loop);
    // Invalid UTF-8 and a surrogate type nothing; e with a combining acute types both.
    for (const char* c : {"a", "A", "!", "\r\n", "\xff", "\xed\xa0\x80", "e\xcc\x81"}) {
        keyboard.character(c, true);
        keyboard.character(c, false);
    }
    EXPECT_EQ(take(),
              "+a -a +Shift_L +A -A -Shift_L +Shift_L +exclam -exclam -Shift_L +Return -Return "
              "+e -e +combining_acute -combining_acute");
    XkbLockModifiers(recorder->display(), XkbUseCoreKbd, LockMask, LockMask);
    take();
    keyboard.character("a", true);
    keyboard.character("B", true);
    EXPECT_EQ(take(), "+Shift_L +a -a -Shift_L +B -B");
}

TEST_F(X11Test, MissingCharactersBorrowFreeKeycodesUntilTypingPausesForTwoSeconds) {
    Display* dpy = recorder->display();
    const auto mapping = [dpy] {
        int min = 0, max = 0, columns = 0;
        XDisplayKeycodes(dpy, &min, &max);
        KeySym* keysyms = XGetKeyboardMapping(dpy, min, max - min + 1, &columns);
        std::vector<KeySym> all(keysyms, keysyms + (max - min + 1) * columns);
        XFree(keysyms);
        return all;
    };
    // A keycode with a keysym at its shifted level only is not free.
    KeySym shiftedOnly[] = {NoSymbol, XK_F35};
    XChangeKeyboardMapping(dpy, int(KeyboardMapping::fetch(*display).freeKeycode()), 2, shiftedOnly,
                           1);
    const std::vector<KeySym> before = mapping();
    X11Keyboard keyboard(*display, loop);
    const auto type = [&](std::string c) {
        keyboard.character(c, true);
        const auto events = received();
        return events.empty() ? Received{} : events[0];
    };
    const Received z = type("\xc5\xbe");
    EXPECT_EQ(z.keysym, 0x100017eu);
    EXPECT_EQ(type("\xf0\x9f\x98\x80").keysym, 0x101f600u);
    EXPECT_EQ(type("\xc5\xbe").keycode, z.keycode);  // still bound: no new mapping change
    loop.advance(1.5);
    type("\xc5\xbe");  // the pause starts anew
    loop.advance(1.9);
    EXPECT_NE(mapping(), before);
    loop.advance(0.2);
    EXPECT_EQ(mapping(), before);

    // Past 10 bindings the least recently used keycode is bound anew. No Cyrillic on the keymap.
    std::set<unsigned> keycodes;
    for (char32_t c = 0x430; c < 0x430 + 20; ++c) {
        const Received e = type({char(0xc0 | c >> 6), char(0x80 | (c & 0x3f))});
        EXPECT_EQ(e.keysym, 0x1000000 + c);
        keycodes.insert(e.keycode);
    }
    EXPECT_EQ(keycodes.size(), 10u);
    loop.advance(2.1);
    EXPECT_EQ(mapping(), before);  // as it was: only free keycodes were borrowed
    EXPECT_FALSE(recorder->anyKeyDown());
}

TEST_F(X11Test, ButtonsArriveWhereAskedAndNoneStaysHeld) {
    auto pointer = std::make_unique<X11Pointer>(*display);
    pointer->button(MouseButton::Left, true, {30, 40}, 1);
    pointer->button(MouseButton::Left, false, {30, 40}, 1);
    pointer->button(MouseButton::Right, true, {50, 60}, 1);
    pointer->button(MouseButton::Right, false, {50, 60}, 1);
    pointer->button(MouseButton::Left, true, {50, 60}, 1);
    pointer.reset();
    EXPECT_EQ(take(), "+1@30,40 -1@30,40 +3@50,60 -3@50,60 +1@50,60 -1@50,60");
}

TEST_F(X11Test, WheelTurnsANotchPer50PixelsKeepingTheRestAndAtMost40AtOnce) {
    X11Pointer pointer(*display);
    const auto scroll = [&](std::initializer_list<int> calls) {
        std::string notches;  // the buttons pressed, "|" after each call
        for (int pixels : calls) {
            pointer.scroll(pixels);
            for (const auto& e : received()) {
                if (e.type == ButtonPress) notches += std::to_string(e.button);
            }
            notches += "|";
        }
        return notches;
    };
    EXPECT_EQ(scroll({49, 1, -149, -1}), "|4|55|5|");
    EXPECT_EQ(scroll({INT_MAX, 49, INT_MIN, -49}),  // the excess is dropped, not kept
              std::string(40, '4') + "||" + std::string(40, '5') + "||");
}

TEST_F(X11Test, InputIsTrustedWithXTestAndDisplaysAreTheRandrMonitors) {
    std::string error;
    EXPECT_TRUE(openX11Desktop(loop, server.name().c_str(), error)->permissions().inputTrusted());
    // A second monitor right of the first and below its top edge, where only the whole screen was.
    Display* dpy = recorder->display();
    XRRMonitorInfo* monitor = XRRAllocateMonitor(dpy, 0);
    monitor->name = XInternAtom(dpy, "RIGHT", False);
    monitor->x = 640, monitor->y = 100, monitor->width = 640, monitor->height = 700;
    XRRSetMonitor(dpy, DefaultRootWindow(dpy), monitor);
    XRRFreeMonitors(monitor);
    XSync(dpy, False);
    EXPECT_THAT(X11Pointer(*display).displays(),
                testing::UnorderedElementsAre(Rect{0, 0, 1280, 800}, Rect{640, 100, 640, 700}));
}

TEST(X11Desktop, WithoutXTestInputIsUntrustedAndHarmlessAndWithoutRandrTheDisplayIsTheScreen) {
    XvfbServer bare({"-extension", "XTEST", "-extension", "RANDR"});
    ManualLoop loop;
    std::string error;
    auto desktop = openX11Desktop(loop, bare.name().c_str(), error);
    ASSERT_TRUE(desktop) << error;
    EXPECT_FALSE(desktop->permissions().inputTrusted());
    desktop->pointer().moveTo({5, 5}, false, 0);  // nothing is posted, and trying is harmless
    desktop->keyboard().key(Key::A, kCtrl, true);
    desktop->keyboard().character("\xc5\xbe", true);
    EXPECT_NE(desktop->pointer().location(), (Point{5, 5}));
    EXPECT_EQ(desktop->pointer().displays(), (std::vector<Rect>{{0, 0, 1280, 800}}));
}

TEST(X11Capture, PicturesShowTheScreenAroundThePointerWithOrWithoutSharedMemory) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"-extension", "MIT-SHM"}}) {
        SCOPED_TRACE(arguments.empty() ? "with shared memory" : "without shared memory");
        XvfbServer server(arguments);
        Display* dpy = XOpenDisplay(server.name().c_str());
        ASSERT_TRUE(!server.name().empty() && dpy) << "Xvfb did not start";
        showQuadrants(dpy);
        std::string error;
        const auto capture = X11Capture::open(server.name().c_str(), error);
        ASSERT_TRUE(capture) << error;
        const auto pictureAt = [&](int x, int y, double zoom, std::vector<Rect> hidden = {}) {
            XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
            XSync(dpy, False);
            return decodeJpeg(
                capture->capture({.w = 200, .h = 200, .zoom = zoom, .dpr = 1, .hidden = hidden}));
        };
        EXPECT_TRUE(showsQuadrants(pictureAt(640, 400, 1)));
        // Off the left edge is black; zoomed out, 400 points fit into 200 pixels, so where the
        // colours meet, 100 points right of the pointer, is 50 pixels right of the centre; the
        // agent's own window, up and left of the pointer, is black.
        const struct {
            Picture picture;
            std::vector<std::tuple<int, int, Rgb>> expected;
        } table[] = {
            {pictureAt(0, 400, 1), {{50, 50, kBlack}, {50, 150, kBlack}, {150, 50, kRed}}},
            {pictureAt(540, 400, 0.5),
             {{135, 90, kRed}, {165, 90, kGreen}, {135, 110, kBlue}, {165, 110, kWhite}}},
            {pictureAt(640, 400, 1, {{500, 250, 120, 130}}),
             {{50, 50, kBlack}, {150, 50, kGreen}, {50, 150, kBlue}}},
        };
        for (const auto& [picture, expected] : table) {
            for (auto [x, y, colour] : expected) EXPECT_TRUE(shows(picture, x, y, colour));
        }

        // A one-pixel checkerboard, 667 x 667 of it in 200 x 200 pixels: every pixel covers
        // over three squares each way, so it turns mid grey, not into moire.
        char bits[] = {1, 2};
        coverScreen(dpy, XCreatePixmapFromBitmapData(dpy, DefaultRootWindow(dpy), bits, 2, 2, 0,
                                                     0xffffff, DefaultDepth(dpy, 0)));
        const Picture grey = pictureAt(640, 400, 0.3);
        int offGrey = 0;
        for (int i = 0; i < 200 * 200; ++i)
            offGrey += !shows(grey, i % 200, i / 200, {128, 128, 128}) ? 1 : 0;
        EXPECT_EQ(offGrey, 0);
        XCloseDisplay(dpy);
    }
}

// XSETTINGS data as a settings manager publishes it: a string and a colour, then the
// double-click time.
std::vector<uint8_t> xsettings(int32_t doubleClickMs, bool big = false) {
    std::vector<uint8_t> out{big, 0, 0, 0};
    const auto card = [&](uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            out.push_back(uint8_t(value >> 8 * (big ? size - 1 - i : i)));
    };
    const auto text = [&](std::string_view s) {
        out.insert(out.end(), s.begin(), s.end());
        out.resize((out.size() + 3) / 4 * 4);
    };
    const auto header = [&](uint8_t type, std::string_view name) {
        out.insert(out.end(), {type, 0});
        card(name.size(), 2);
        text(name);
        card(0, 4);  // last change
    };
    card(7, 4);  // serial
    card(3, 4);  // settings
    header(1, "Net/ThemeName");
    card(7, 4);
    text("Adwaita");
    header(2, "Gtk/Color");
    card(~0u, 4);
    card(~0u, 4);
    header(0, "Net/DoubleClickTime");
    card(doubleClickMs, 4);
    return out;
}

TEST(XSettings, FindsAnIntegerPastOtherSettingsInEitherByteOrderAndNothingInBrokenData) {
    for (bool big : {false, true}) {
        const auto data = xsettings(-250, big);
        EXPECT_EQ(xsettingsInteger(data, "Net/DoubleClickTime"), -250) << big;
        for (const char* name : {"Net/ThemeName", "Gtk/Color", "Net/Missing"}) {
            EXPECT_EQ(xsettingsInteger(data, name), std::nullopt) << name << big;
        }
    }
    auto data = xsettings(250);
    for (size_t size = 0; size < data.size(); ++size) {
        EXPECT_EQ(xsettingsInteger(std::span(data).first(size), "Net/DoubleClickTime"),
                  std::nullopt);
    }
    std::fill(data.begin() + 36, data.begin() + 40, 0xff);  // the theme name's length: 4 GiB
    EXPECT_EQ(xsettingsInteger(data, "Net/DoubleClickTime"), std::nullopt);
}

TEST_F(X11Test, DoubleClickTimeComesFromTheSettingsManagerUpTo5Seconds) {
    X11Pointer pointer(*display);
    EXPECT_EQ(pointer.doubleClickInterval(), 0.4);  // no manager: the toolkits' default
    Display* dpy = recorder->display();
    const Window manager = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const Atom property = XInternAtom(dpy, "_XSETTINGS_SETTINGS", False);
    XSetSelectionOwner(dpy, XInternAtom(dpy, "_XSETTINGS_S0", False), manager, CurrentTime);
    for (auto [ms, seconds] : {std::pair{250, 0.25}, {5000, 5.0}, {5001, 0.4}, {0, 0.4}}) {
        const auto data = xsettings(ms);
        XChangeProperty(dpy, manager, property, property, 8, PropModeReplace, data.data(),
                        int(data.size()));
        XSync(dpy, False);
        EXPECT_EQ(pointer.doubleClickInterval(), seconds) << ms;
    }
}

}  // namespace
}  // namespace zg::test
