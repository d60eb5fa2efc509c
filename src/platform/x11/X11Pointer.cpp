#include "platform/x11/X11Pointer.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>

#include "platform/x11/X11Monitors.h"
#include "platform/x11/XSettings.h"

namespace zg {
namespace {

// X button numbers.
constexpr unsigned kLeft = 1, kRight = 3, kWheelUp = 4, kWheelDown = 5;

constexpr unsigned xButton(MouseButton button) {
    return button == MouseButton::Left ? kLeft : kRight;
}

// Protocol coordinates are 16-bit; a point outside that range (or not a number) cannot be
// posted.
bool toProtocol(double value, int& out) {
    if (!std::isfinite(value)) return false;
    out = static_cast<int>(std::lround(std::clamp(value, -32768.0, 32767.0)));
    return true;
}

}  // namespace

X11Pointer::X11Pointer(X11Display& display)
    : display_(display), hasMonitors_(hasRandrMonitors(display.get())) {}

X11Pointer::~X11Pointer() {
    for (MouseButton button : {MouseButton::Left, MouseButton::Right}) {
        if (held_[static_cast<size_t>(button)]) postButton(xButton(button), false);
    }
    display_.sync();
}

Point X11Pointer::location() {
    Display* dpy = display_.get();
    Window root = None, child = None;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned mask = 0;
    if (!XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &rootX, &rootY, &x, &y, &mask)) {
        return {};  // the pointer is on another screen
    }
    return {static_cast<double>(rootX), static_cast<double>(rootY)};
}

std::vector<Rect> X11Pointer::displays() {
    const auto now = std::chrono::steady_clock::now();
    if (monitors_.empty() || now - monitorsRead_ >= kMonitorsMaxAge) {
        monitors_ = readMonitors(display_.get(), hasMonitors_);
        monitorsRead_ = now;
    }
    return monitors_;
}

// X has no separate drag event: motion with the left button held is a drag, and clients count
// clicks from event times, so neither flag changes what is posted.
void X11Pointer::moveTo(Point to, bool, int) {
    if (postMotion(to)) display_.flush();
}

void X11Pointer::button(MouseButton button, bool down, Point at, int) {
    if (location() != at) postMotion(at);
    postButton(xButton(button), down);
    held_[static_cast<size_t>(button)] = down;
    display_.flush();
}

void X11Pointer::scroll(int pixels) {
    const int steps = wheel_.take(pixels);
    const unsigned wheel = steps > 0 ? kWheelUp : kWheelDown;
    for (int i = 0; i < std::abs(steps); ++i) {
        postButton(wheel, true);
        postButton(wheel, false);
    }
    if (steps != 0) display_.flush();
}

Seconds X11Pointer::doubleClickInterval() {
    return xsettingsDoubleClickTime(display_).value_or(kDefaultDoubleClick);
}

bool X11Pointer::postMotion(Point to) {
    int x = 0, y = 0;
    if (!display_.hasXTest() || !toProtocol(to.x, x) || !toProtocol(to.y, y)) return false;
    Display* dpy = display_.get();
    XTestFakeMotionEvent(dpy, DefaultScreen(dpy), x, y, CurrentTime);
    return true;
}

void X11Pointer::postButton(unsigned button, bool down) {
    if (display_.hasXTest()) XTestFakeButtonEvent(display_.get(), button, down, CurrentTime);
}

}  // namespace zg
