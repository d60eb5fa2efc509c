#include "platform/x11/X11Display.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <atomic>

namespace zg {
namespace {

std::atomic<uint64_t> errorCount{0};

// Xlib's default handler ends the process on any failed request. Here a failure (a settings
// window that vanished, a keycode taken meanwhile) only makes that one operation fail.
int countError(Display*, XErrorEvent*) {
    ++errorCount;
    return 0;
}

// Xlib's own handlers end the process when a connection breaks (the server died, the session
// ended), from whichever thread made the call and in the middle of it. Returning from both
// handlers instead leaves the Display marked broken: every later call on it fails at once,
// and the agent ends through its own path (see DisplayLoss).
int ignoreIOError(Display*) {
    return 0;
}
void keepRunning(Display*, void*) {}

}  // namespace

std::unique_ptr<X11Display> X11Display::open(const char* name, std::string& error) {
    // Screen capture uses a connection of its own on another thread. Xlib from 1.8 on does
    // this itself; older ones need it before their first call to guard their shared state.
    XInitThreads();
    Display* display = XOpenDisplay(name);
    if (!display) {
        const std::string shown = XDisplayName(name);
        error = shown.empty() ? "no X display: DISPLAY is not set"
                              : "cannot open X display \"" + shown + "\"";
        return nullptr;
    }
    XSetErrorHandler(countError);
    survive(display);
    return std::unique_ptr<X11Display>(new X11Display(display));
}

void X11Display::survive(Display* display) {
    XSetIOErrorHandler(ignoreIOError);
    XSetIOErrorExitHandler(display, keepRunning, nullptr);
}

X11Display::X11Display(Display* display) : display_(display) {
    int event = 0, error = 0, major = 0, minor = 0;
    hasXTest_ = XTestQueryExtension(display_, &event, &error, &major, &minor);
    errorsSeen_ = errorCount;
}

X11Display::~X11Display() {
    XCloseDisplay(display_);
}

void X11Display::flush() {
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
    }
}

bool X11Display::sync() {
    XSync(display_, False);
    const uint64_t now = errorCount;
    const bool clean = now == errorsSeen_;
    errorsSeen_ = now;
    return clean;
}

}  // namespace zg
