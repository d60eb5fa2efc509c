#pragma once

#include <memory>
#include <string>

#include "platform/Loop.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/X11Keyboard.h"
#include "platform/x11/X11Permissions.h"
#include "platform/x11/X11Pointer.h"

namespace zg {

// Everything the agent posts into an X desktop, over one connection.
// Threading: main thread only.
class X11Desktop {
public:
    // `loop` must outlive the desktop.
    X11Desktop(std::unique_ptr<X11Display> display, Loop& loop);

    Pointer& pointer() { return pointer_; }
    Keyboard& keyboard() { return keyboard_; }
    Permissions& permissions() { return permissions_; }
    // Whether a compositing manager runs, so that translucent windows blend with what is
    // under them; without one they show their own pixels only.
    bool compositing() const;

private:
    // Declared first so that it is closed after everything that uses it.
    std::unique_ptr<X11Display> display_;
    X11Pointer pointer_;
    X11Keyboard keyboard_;
    X11Permissions permissions_;
};

// Connects to the X display `displayName` (nullptr: $DISPLAY); nullptr with `error` set to a
// sentence for the user when it cannot be opened.
std::unique_ptr<X11Desktop> openX11Desktop(Loop& loop, const char* displayName, std::string& error);

}  // namespace zg
