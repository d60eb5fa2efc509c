#include "Picture.h"

#include <initializer_list>
#include <tuple>

namespace zg::test {

void showQuadrants(Display* dpy) {
    const Pixmap pattern =
        XCreatePixmap(dpy, DefaultRootWindow(dpy), 1280, 800, DefaultDepth(dpy, 0));
    GC gc = XCreateGC(dpy, pattern, 0, nullptr);
    for (auto [pixel, x, y] : {std::tuple{0xff0000ul, 0, 0},
                               {0x00ff00ul, 640, 0},
                               {0x0000fful, 0, 400},
                               {0xfffffful, 640, 400}}) {
        XSetForeground(dpy, gc, pixel);
        XFillRectangle(dpy, pattern, gc, x, y, 640, 400);
    }
    XFreeGC(dpy, gc);
    coverScreen(dpy, pattern);
}

void coverScreen(Display* dpy, Pixmap background) {
    // The server paints a window's background itself as soon as it is mapped.
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = background;
    attributes.override_redirect = True;
    const Window window =
        XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1280, 800, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixmap | CWOverrideRedirect, &attributes);
    XMapRaised(dpy, window);
    XFreePixmap(dpy, background);
    XSync(dpy, False);
}

}  // namespace zg::test
