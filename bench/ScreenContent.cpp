#include "ScreenContent.h"

#include <X11/Xutil.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zg::bench {
namespace {

constexpr unsigned long kPlainColour = 0x3a6ea5;  // a desktop blue
constexpr unsigned long kInk = 0x202020;
constexpr int kLineHeight = 16;  // the server's default font is 13 pixels high

// Light noise, 64 levels deep in each channel: texture that JPEG cannot smooth away, while
// a default view of it still fits one message at the default quality.
void paintNoise(Display* dpy, Pixmap pixmap, GC gc, int width, int height) {
    std::mt19937 random(7);  // the same screen in every run
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    for (uint32_t& pixel : pixels) {
        const uint32_t bits = random();
        pixel = 0xa0a0a0 + (bits & 0x3f3f3f);
    }
    XImage* image = XCreateImage(dpy, DefaultVisual(dpy, DefaultScreen(dpy)), 24, ZPixmap, 0,
                                 reinterpret_cast<char*>(pixels.data()), unsigned(width),
                                 unsigned(height), 32, 0);
    XPutImage(dpy, pixmap, gc, image, 0, 0, 0, 0, unsigned(width), unsigned(height));
    image->data = nullptr;  // the vector owns the pixels
    XDestroyImage(image);
}

// Rows of program-like text, each starting a little further in.
void paintText(Display* dpy, Pixmap pixmap, GC gc, int width, int height) {
    const std::string words = "for (int i = 0; i < count; ++i) total += weights[i] * value(i); ";
    std::string line;
    while (line.size() < size_t(width / 6) + words.size()) line += words;
    XSetForeground(dpy, gc, kInk);
    for (int row = 0, y = kLineHeight; y < height; ++row, y += kLineHeight) {
        const int indent = (row % 8) * 4;
        XDrawString(dpy, pixmap, gc, 6 * indent, y, line.data() + row % 13, width / 6);
    }
}

}  // namespace

const char* contentName(Content content) {
    return content == Content::Busy ? "busy" : "plain";
}

void showContent(Display* dpy, Content content) {
    const int screen = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, screen);
    const int width = DisplayWidth(dpy, screen), height = DisplayHeight(dpy, screen);
    const Pixmap pixmap =
        XCreatePixmap(dpy, root, unsigned(width), unsigned(height), DefaultDepth(dpy, screen));
    GC gc = XCreateGC(dpy, pixmap, 0, nullptr);
    if (content == Content::Busy) {
        paintNoise(dpy, pixmap, gc, width, height);
        paintText(dpy, pixmap, gc, width, height);
    } else {
        XSetForeground(dpy, gc, kPlainColour);
        XFillRectangle(dpy, pixmap, gc, 0, 0, unsigned(width), unsigned(height));
    }
    // The server paints a window's background itself as soon as it is mapped.
    XSetWindowAttributes attributes{};
    attributes.background_pixmap = pixmap;
    attributes.override_redirect = True;
    const Window window =
        XCreateWindow(dpy, root, 0, 0, unsigned(width), unsigned(height), 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWBackPixmap | CWOverrideRedirect, &attributes);
    XMapRaised(dpy, window);
    XFreeGC(dpy, gc);
    XFreePixmap(dpy, pixmap);
    XSync(dpy, False);
}

}  // namespace zg::bench
