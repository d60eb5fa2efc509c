#pragma once

#include <X11/Xlib.h>

namespace zg::test {

// Covers the 1280 x 800 screen in four colours meeting at (640, 400): red and green above,
// blue and white below. Returns once the server has drawn it.
void showQuadrants(Display* dpy);
// The same with `background` tiled over the screen; the pixmap is freed.
void coverScreen(Display* dpy, Pixmap background);

}  // namespace zg::test
