#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>
#include <vector>

namespace zg::test {

// One input event as a client sees it; the keysym with the modifiers and locks in force.
struct Received {
    int type = 0;  // ButtonPress, KeyRelease...
    unsigned button = 0, keycode = 0;
    KeySym keysym = 0;
    int x = 0, y = 0;  // on the root window
};

// A focused window covering the screen, on its own connection, that records what arrives.
class Recorder {
public:
    explicit Recorder(const std::string& displayName)
        : display_(XOpenDisplay(displayName.c_str())) {
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
    ~Recorder() {
        if (display_) XCloseDisplay(display_);
    }

    Display* display() const { return display_; }
    // Records what the server sent before now: all that a synced connection's requests caused.
    void drain() {
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

    std::vector<Received> events;

private:
    Display* display_;
};

}  // namespace zg::test
