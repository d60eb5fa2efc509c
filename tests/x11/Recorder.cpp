#include "Recorder.h"

#include <X11/Xutil.h>

#include <algorithm>

namespace zg::test {

Recorder::Recorder(const std::string& displayName) : display_(XOpenDisplay(displayName.c_str())) {
    if (!display_) return;
    const Window window =
        XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1280, 800, 0, 0, 0);
    XSelectInput(display_, window,
                 KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask);
    XMapWindow(display_, window);
    // Without a window manager the window is viewable, and so focusable, once mapped.
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    drain();
    events.clear();
}

Recorder::~Recorder() {
    if (display_) XCloseDisplay(display_);
}

void Recorder::drain() {
    XSync(display_, False);
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        Received r{event.type};
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            continue;
        } else if (event.type == KeyPress || event.type == KeyRelease) {
            char text[16];
            XLookupString(&event.xkey, text, sizeof text, &r.keysym, nullptr);
            r.keycode = event.xkey.keycode;
        } else if (event.type == ButtonPress || event.type == ButtonRelease) {
            r = {event.type, event.xbutton.button, 0,
                 0,          event.xbutton.x_root, event.xbutton.y_root};
        }
        events.push_back(r);
    }
}

bool Recorder::anyKeyDown() const {
    char keys[32];
    XQueryKeymap(display_, keys);
    return std::any_of(std::begin(keys), std::end(keys), [](char c) { return c != 0; });
}

}  // namespace zg::test
