// GoogleTest first: it cannot take the macros Xlib defines (None, Bool).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <climits>
#include <set>
#include <tuple>

#include "ManualLoop.h"
#include "Recorder.h"
#include "XvfbServer.h"
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

    // What arrived since the last call, read before a later rebinding, as a live client would.
    std::vector<Received> received() {
        display->sync();
        recorder->drain();
        return std::exchange(recorder->events, {});
    }
    bool anyKeyDown() {
        char keys[32];
        XQueryKeymap(recorder->display(), keys);
        return std::any_of(std::begin(keys), std::end(keys), [](char c) { return c != 0; });
    }
    // The same as "+a -a" for a key pressed and released, "+1@30,40" for a button there.
    std::string take() {
        std::string out;
        for (const Received& e : received()) {
            out += e.type == KeyPress || e.type == ButtonPress ? " +" : " -";
            out += e.keysym ? XKeysymToString(e.keysym)
                            : std::to_string(e.button) + "@" + std::to_string(e.x) + "," +
                                  std::to_string(e.y);
        }
        return out.empty() ? out : out.substr(1);
    }

    XvfbServer server;
    ManualLoop loop;
    std::unique_ptr<X11Display> display;
    std::unique_ptr<Recorder> recorder;
};

TEST_F(X11Test, ModifiersGoDownBeforeTheKeyAndUpAfterItAndCharactersKeepTheirCase) {
    auto keyboard = std::make_unique<X11Keyboard>(*display, loop);
    keyboard->key(Key::A, kCtrl | kWin | kAlt | kShift, true);
    keyboard->key(Key::A, kCtrl | kWin | kAlt | kShift, false);
    keyboard->key(Key::Tab, kAlt, true);
    keyboard->key(Key::Q, kCtrl, true);  // Tab's up half never came: it goes up first
    keyboard.reset();                    // and Q on destruction
    EXPECT_EQ(take(),
              "+Control_L +Super_L +Alt_L +Shift_L +A -A -Shift_L -Alt_L -Super_L -Control_L "
              "+Alt_L +Tab -Tab -Alt_L +Control_L +q -q -Control_L");

    // Characters arrive in the case asked for, even under Caps Lock.
    keyboard = std::make_unique<X11Keyboard>(*display, loop);
    const auto type = [&](std::initializer_list<const char*> characters) {
        for (const char* c : characters)
            keyboard->character(c, true), keyboard->character(c, false);
        return take();
    };
    EXPECT_EQ(type({"a", "A", "\r\n", "e\xcc\x81"}),
              "+a -a +Shift_L +A -A -Shift_L +Return -Return +e -e +combining_acute "
              "-combining_acute");
    XkbLockModifiers(recorder->display(), XkbUseCoreKbd, LockMask, LockMask);
    take();
    EXPECT_EQ(type({"a", "B"}), "+Shift_L +a -a -Shift_L +B -B");
}

TEST_F(X11Test, MissingCharactersBorrowFreeKeycodesUntilTypingPausesForTwoSeconds) {
    const auto mapping = [dpy = recorder->display()] {
        int min = 0, max = 0, columns = 0;
        XDisplayKeycodes(dpy, &min, &max);
        KeySym* keysyms = XGetKeyboardMapping(dpy, min, max - min + 1, &columns);
        std::vector<KeySym> all(keysyms, keysyms + (max - min + 1) * columns);
        XFree(keysyms);
        return all;
    };
    const auto before = mapping();
    X11Keyboard keyboard(*display, loop);
    const auto type = [&](std::string c) {
        keyboard.character(c, true);
        const auto events = received();
        return events.empty() ? Received{} : events[0];
    };
    EXPECT_EQ(type("\xf0\x9f\x98\x80").keysym, 0x101f600u);
    // Past 10 bindings the least recently used keycode is bound anew. No Cyrillic on the keymap.
    std::set<unsigned> keycodes;
    for (char32_t c = 0x430; c < 0x430 + 20; ++c) {
        const Received e = type({char(0xc0 | c >> 6), char(0x80 | (c & 0x3f))});
        EXPECT_EQ(e.keysym, 0x1000000 + c);
        keycodes.insert(e.keycode);
    }
    EXPECT_EQ(keycodes.size(), 10u);
    loop.advance(1.9);
    EXPECT_NE(mapping(), before);
    loop.advance(0.2);
    EXPECT_EQ(mapping(), before);
    EXPECT_FALSE(anyKeyDown());
}

TEST_F(X11Test, ButtonsArriveWhereAskedAndNoneStaysHeldAndTheWheelTurnsInNotches) {
    auto pointer = std::make_unique<X11Pointer>(*display);
    for (bool down : {true, false}) pointer->button(MouseButton::Right, down, {30, 40}, 1);
    pointer->button(MouseButton::Left, true, {50, 60}, 1);
    pointer.reset();
    EXPECT_EQ(take(), "+3@30,40 -3@30,40 +1@50,60 -1@50,60");

    X11Pointer wheel(*display);  // a notch per 50 pixels, keeping the rest, at most 40 at once
    std::string notches;         // the buttons pressed, "|" after each call
    for (int pixels : {49, 1, -149, -1, INT_MAX, 49}) {  // the excess is dropped, not kept
        wheel.scroll(pixels);
        for (const auto& e : received())
            if (e.type == ButtonPress) notches += std::to_string(e.button);
        notches += "|";
    }
    EXPECT_EQ(notches, "|4|55|5|" + std::string(40, '4') + "||");
}

TEST_F(X11Test, InputIsTrustedOnlyWithXTestAndDisplaysAreTheRandrMonitorsOrElseTheScreen) {
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

    XvfbServer bare({"-extension", "XTEST", "-extension", "RANDR"});
    auto desktop = openX11Desktop(loop, bare.name().c_str(), error);
    ASSERT_TRUE(desktop) << error;
    EXPECT_FALSE(desktop->permissions().inputTrusted());
    desktop->keyboard().key(Key::A, kCtrl, true);  // nothing is posted, and trying is harmless
    EXPECT_EQ(desktop->pointer().displays(), (std::vector<Rect>{{0, 0, 1280, 800}}));
}

using Rgb = std::array<int, 3>;

// Whether each point of a 200 x 200 JPEG is about its colour (JPEG blurs colours a little).
bool shows(const std::optional<std::string>& jpeg, std::vector<std::tuple<int, int, Rgb>> points) {
    std::vector<unsigned char> rgb(200 * 200 * 3);
    tjhandle handle = tjInitDecompress();
    const bool decoded =
        jpeg && tjDecompress2(handle, (const unsigned char*)jpeg->data(), jpeg->size(), rgb.data(),
                              200, 0, 200, TJPF_RGB, 0) == 0;
    tjDestroy(handle);
    return decoded && std::all_of(points.begin(), points.end(), [&](const auto& point) {
               const auto& [x, y, want] = point;
               for (int c = 0; c < 3; ++c)
                   if (std::abs(rgb[(y * 200 + x) * 3 + c] - want[c]) >= 40) return false;
               return true;
           });
}

TEST(X11Capture, PicturesShowTheScreenAroundThePointerWithOrWithoutSharedMemory) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"-extension", "MIT-SHM"}}) {
        SCOPED_TRACE(arguments.empty() ? "with shared memory" : "without shared memory");
        XvfbServer server(arguments);
        Display* dpy = XOpenDisplay(server.name().c_str());
        ASSERT_TRUE(!server.name().empty() && dpy) << "Xvfb did not start";
        const auto cover = [&](int x, int y, int w, int h, unsigned long pixel, Pixmap tile = 0) {
            const Window window =
                XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), x, y, w, h, 0, 0, pixel);
            if (tile) XSetWindowBackgroundPixmap(dpy, window, tile);
            XMapRaised(dpy, window);  // the server paints its background at once
        };
        // Four colours meeting at (640, 400): red and green above, blue and white below.
        for (auto [pixel, x, y] : {std::tuple{0xff0000ul, 0, 0},
                                   {0x00ff00ul, 640, 0},
                                   {0x0000fful, 0, 400},
                                   {0xfffffful, 640, 400}})
            cover(x, y, 640, 400, pixel);
        std::string error;
        const auto capture = X11Capture::open(server.name().c_str(), error);
        ASSERT_TRUE(capture) << error;
        const auto pictureAt = [&](int x, int y, double zoom, std::vector<Rect> hidden = {}) {
            XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
            XSync(dpy, False);
            return capture->capture({.w = 200, .h = 200, .zoom = zoom, .dpr = 1, .hidden = hidden});
        };
        constexpr Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255};
        EXPECT_TRUE(shows(pictureAt(640, 400, 1),
                          {{50, 50, red}, {150, 50, green}, {50, 150, blue}, {150, 150, white}}));
        // Zoomed out, 100 points right of the pointer are 50 pixels right of the centre.
        EXPECT_TRUE(shows(pictureAt(540, 400, 0.5),
                          {{135, 90, red}, {165, 90, green}, {135, 110, blue}, {165, 110, white}}));
        // The agent's own window, up and left of the pointer, is black.
        EXPECT_TRUE(shows(pictureAt(640, 400, 1, {{500, 250, 120, 130}}),
                          {{50, 50, {}}, {150, 50, green}, {50, 150, blue}}));

        // A one-pixel checkerboard, over three squares a pixel each way: grey, not moire.
        char bits[] = {1, 2};
        cover(0, 0, 1280, 800, 0,
              XCreatePixmapFromBitmapData(dpy, DefaultRootWindow(dpy), bits, 2, 2, 0, 0xffffff,
                                          DefaultDepth(dpy, 0)));
        std::vector<std::tuple<int, int, Rgb>> everyPixel;
        for (int i = 0; i < 200 * 200; ++i)
            everyPixel.emplace_back(i % 200, i / 200, Rgb{128, 128, 128});
        EXPECT_TRUE(shows(pictureAt(640, 400, 0.3), everyPixel));
        // Larger than any before: what the encoder keeps between pictures grows with them.
        EXPECT_TRUE(capture->capture({.w = 800, .h = 700, .zoom = 1, .dpr = 1}));
        XCloseDisplay(dpy);
    }
}

// X applications judge double clicks by themselves, so the time only has to be read safely.
TEST(XSettings, DataCutShortAnywhereHoldsNothing) {
    constexpr char bytes[] =                                     // least significant byte first
        "\0\0\0\0\7\0\0\0\2\0\0\0"                               // byte order, serial, count
        "\1\0\15\0Net/ThemeName\0\0\0\0\0\0\0\7\0\0\0Adwaita\0"  // a string
        "\0\0\23\0Net/DoubleClickTime\0\0\0\0\0\372\0\0\0";      // an integer, 250
    const std::span data(reinterpret_cast<const uint8_t*>(bytes), sizeof bytes - 1);
    EXPECT_EQ(xsettingsInteger(data, "Net/DoubleClickTime"), 250);
    for (size_t size = 0; size < data.size(); ++size)
        EXPECT_EQ(xsettingsInteger(data.first(size), "Net/DoubleClickTime"), std::nullopt);
}

}  // namespace
}  // namespace zg::test
