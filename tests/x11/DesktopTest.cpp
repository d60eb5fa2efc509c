// GoogleTest first: it cannot take the macros Xlib defines (None, Bool).
#include "X11Fixture.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include "platform/x11/X11Desktop.h"

namespace zg::test {
namespace {

using DesktopTest = X11Fixture;

TEST_F(DesktopTest, OpensOnlyAnExistingDisplayWhoseInputIsTrustedOnlyWithXTest) {
    std::string error;
    EXPECT_EQ(openX11Desktop(loop, ":65001", error), nullptr);
    EXPECT_NE(error.find(":65001"), std::string::npos) << error;
    EXPECT_TRUE(openX11Desktop(loop, server.name().c_str(), error)->permissions().inputTrusted());

    XvfbServer bare({"-extension", "XTEST"});
    ASSERT_FALSE(bare.name().empty());
    auto desktop = openX11Desktop(loop, bare.name().c_str(), error);
    ASSERT_TRUE(desktop) << error;
    EXPECT_FALSE(desktop->permissions().inputTrusted());
    // Nothing can be posted, and trying is harmless.
    desktop->pointer().moveTo({5, 5}, false, 0);
    desktop->keyboard().key(Key::A, kCommand, true);
    desktop->keyboard().character("\xc5\xbe", true);
    EXPECT_NE(desktop->pointer().location(), (Point{5, 5}));
}

TEST_F(DesktopTest, DisplaysAreTheMonitorsOrElseTheScreen) {
    X11Pointer pointer(*display);
    EXPECT_EQ(pointer.displays(), (std::vector<Rect>{{0, 0, 1280, 800}}));

    // Split the screen into two monitors side by side, the right one below the top edge.
    Display* dpy = recorder->display();
    const Window root = DefaultRootWindow(dpy);
    XRRScreenResources* resources = XRRGetScreenResources(dpy, root);
    ASSERT_TRUE(resources && resources->noutput > 0);
    const auto define = [&](const char* name, Rect r, bool withOutput) {
        XRRMonitorInfo* m = XRRAllocateMonitor(dpy, withOutput ? 1 : 0);
        m->name = XInternAtom(dpy, name, False);
        m->x = int(r.x), m->y = int(r.y), m->width = int(r.width), m->height = int(r.height);
        if (withOutput) m->outputs[0] = resources->outputs[0];  // replaces the whole-screen one
        XRRSetMonitor(dpy, root, m);
        XRRFreeMonitors(m);
    };
    define("LEFT", {0, 0, 640, 800}, true);
    define("RIGHT", {640, 100, 640, 700}, false);
    XRRFreeScreenResources(resources);
    XSync(dpy, False);
    // A pointer reads the layout at most once a second; a new one reads it now.
    EXPECT_EQ(pointer.displays(), (std::vector<Rect>{{0, 0, 1280, 800}}));
    EXPECT_EQ(X11Pointer(*display).displays(),
              (std::vector<Rect>{{0, 0, 640, 800}, {640, 100, 640, 700}}));

    XvfbServer withoutRandr({"-extension", "RANDR"});
    std::string error;
    auto other = X11Display::open(withoutRandr.name().c_str(), error);
    ASSERT_TRUE(other) << error;
    EXPECT_EQ(X11Pointer(*other).displays(), (std::vector<Rect>{{0, 0, 1280, 800}}));
}

}  // namespace
}  // namespace zg::test
