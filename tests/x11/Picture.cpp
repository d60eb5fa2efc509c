#include "Picture.h"

#include <turbojpeg.h>

#include <cstdlib>
#include <tuple>

namespace zg::test {

Rgb Picture::at(int x, int y) const {
    const size_t i = (size_t(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

Picture decodeJpeg(const std::optional<std::string>& jpeg) {
    Picture picture;
    if (!jpeg) return picture;
    tjhandle handle = tjInitDecompress();
    const auto* data = reinterpret_cast<const unsigned char*>(jpeg->data());
    int width = 0, height = 0, subsampling = 0, colours = 0;
    if (tjDecompressHeader3(handle, data, jpeg->size(), &width, &height, &subsampling, &colours) ==
        0) {
        std::vector<unsigned char> rgb(size_t(width) * height * 3);
        if (tjDecompress2(handle, data, jpeg->size(), rgb.data(), width, 0, height, TJPF_RGB, 0) ==
            0) {
            picture = {width, height, std::move(rgb)};
        }
    }
    tjDestroy(handle);
    return picture;
}

::testing::AssertionResult shows(const Picture& picture, int x, int y, Rgb want) {
    if (x >= picture.width || y >= picture.height) {
        return ::testing::AssertionFailure() << x << "," << y << " is outside the picture";
    }
    const auto [r, g, b] = picture.at(x, y);
    if (std::abs(r - want.r) < 40 && std::abs(g - want.g) < 40 && std::abs(b - want.b) < 40) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "at " << x << "," << y << ": " << r << "," << g << "," << b << " instead of "
           << want.r << "," << want.g << "," << want.b;
}

::testing::AssertionResult showsQuadrants(const Picture& picture) {
    if (picture.width != 200 || picture.height != 200) {
        return ::testing::AssertionFailure()
               << "a " << picture.width << " x " << picture.height << " picture, not 200 x 200";
    }
    for (auto [x, y, colour] : {std::tuple{50, 50, kRed}, std::tuple{150, 50, kGreen},
                                std::tuple{50, 150, kBlue}, std::tuple{150, 150, kWhite}}) {
        if (auto result = shows(picture, x, y, colour); !result) return result;
    }
    return ::testing::AssertionSuccess();
}

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
