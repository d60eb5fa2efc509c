#include "platform/x11/X11Desktop.h"

#include <X11/Xlib.h>

#include <string>

namespace zg {

X11Desktop::X11Desktop(std::unique_ptr<X11Display> display, Loop& loop)
    : display_(std::move(display)),
      pointer_(*display_),
      keyboard_(*display_, loop),
      permissions_(*display_) {}

bool X11Desktop::compositing() const {
    Display* dpy = display_->get();
    // A compositing manager owns this selection for the screen it manages.
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(dpy));
    return XGetSelectionOwner(dpy, XInternAtom(dpy, name.c_str(), False)) != 0;
}

std::unique_ptr<X11Desktop> openX11Desktop(Loop& loop, const char* displayName,
                                           std::string& error) {
    auto display = X11Display::open(displayName, error);
    if (!display) return nullptr;
    return std::make_unique<X11Desktop>(std::move(display), loop);
}

}  // namespace zg
