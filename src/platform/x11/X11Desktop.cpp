#include "platform/x11/X11Desktop.h"

namespace zg {

X11Desktop::X11Desktop(std::unique_ptr<X11Display> display, Loop& loop)
    : display_(std::move(display)),
      pointer_(*display_),
      keyboard_(*display_, loop),
      permissions_(*display_) {}

std::unique_ptr<X11Desktop> openX11Desktop(Loop& loop, const char* displayName,
                                           std::string& error) {
    auto display = X11Display::open(displayName, error);
    if (!display) return nullptr;
    return std::make_unique<X11Desktop>(std::move(display), loop);
}

}  // namespace zg
