#pragma once

#include <X11/Xlib.h>

namespace zg::bench {

enum class Content {
    Busy,   // lines of text over noise: the hardest case for JPEG and for scalers
    Plain,  // one flat colour
};

const char* contentName(Content content);

// Covers the whole screen of `dpy` with `content`, in a window that lasts as long as the
// connection. Returns once the server has drawn it.
void showContent(Display* dpy, Content content);

}  // namespace zg::bench
