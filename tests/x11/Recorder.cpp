#include "Recorder.h"

#include <X11/Xutil.h>

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
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
        } else if (event.type == KeyPress || event.type == KeyRelease) {
            Received r{.type = event.type, .keycode = event.xkey.keycode};
            char text[16];
            XLookupString(&event.xkey, text, sizeof text, &r.keysym, nullptr);
            events.push_back(r);
        } else {
            events.push_back({.type = event.type,
                              .button = event.xbutton.button,
                              .x = event.xbutton.x_root,
                              .y = event.xbutton.y_root});
        }
    }
}

}  // namespace zg::test
