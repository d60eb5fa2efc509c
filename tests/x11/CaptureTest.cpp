// GoogleTest first: it cannot take the macros Xlib defines (None, Bool).
#include <gtest/gtest.h>

#include "Picture.h"
#include "XvfbServer.h"
#include "platform/x11/X11Capture.h"

namespace zg::test {
namespace {

TEST(CaptureTest, PictureIsCentredOnThePointerAndBlackOffTheScreen) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"-extension", "MIT-SHM"}}) {
        SCOPED_TRACE(arguments.empty() ? "with shared memory" : "without shared memory");
        XvfbServer server(arguments);
        ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
        Display* dpy = XOpenDisplay(server.name().c_str());
        ASSERT_NE(dpy, nullptr);
        showQuadrants(dpy);
        std::string error;
        const auto capture = X11Capture::open(server.name().c_str(), error);
        ASSERT_TRUE(capture) << error;
        const auto pictureAt = [&](int x, int y, double zoom) {
            XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
            XSync(dpy, False);
            return decodeJpeg(capture->capture({.w = 200, .h = 200, .zoom = zoom, .dpr = 1}));
        };

        // Where the colours meet, each fills its quarter of the picture.
        Picture picture = pictureAt(640, 400, 1);
        EXPECT_TRUE(showsQuadrants(picture));

        // On the left edge the region is not moved: its left half, off the screen, is black.
        picture = pictureAt(0, 400, 1);
        ASSERT_EQ(picture.width, 200);
        EXPECT_TRUE(shows(picture, 50, 50, kBlack));
        EXPECT_TRUE(shows(picture, 50, 150, kBlack));
        EXPECT_TRUE(shows(picture, 150, 50, kRed));
        EXPECT_TRUE(shows(picture, 150, 150, kBlue));

        // Zoomed out, 400 points fit into 200 pixels: the colours' meeting point 100 points
        // right of the pointer appears 50 pixels right of the centre.
        picture = pictureAt(540, 400, 0.5);
        ASSERT_EQ(picture.width, 200);
        ASSERT_EQ(picture.height, 200);
        EXPECT_TRUE(shows(picture, 135, 90, kRed));
        EXPECT_TRUE(shows(picture, 165, 90, kGreen));
        EXPECT_TRUE(shows(picture, 135, 110, kBlue));
        EXPECT_TRUE(shows(picture, 165, 110, kWhite));

        // The agent's own window, up and left of the pointer, is black in the picture.
        XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, 640, 400);
        XSync(dpy, False);
        picture = decodeJpeg(capture->capture(
            {.w = 200, .h = 200, .zoom = 1, .dpr = 1, .hidden = {{500, 250, 120, 130}}}));
        EXPECT_TRUE(shows(picture, 50, 50, kBlack));
        EXPECT_TRUE(shows(picture, 150, 50, kGreen));
        EXPECT_TRUE(shows(picture, 50, 150, kBlue));
        XCloseDisplay(dpy);
    }
}

// Covers the screen with a one-pixel black and white checkerboard, tiled by the server.
void showCheckerboard(Display* dpy) {
    const Window root = DefaultRootWindow(dpy);
    const Pixmap tile = XCreatePixmap(dpy, root, 2, 2, DefaultDepth(dpy, 0));
    GC gc = XCreateGC(dpy, tile, 0, nullptr);
    XSetForeground(dpy, gc, 0xffffff);
    XFillRectangle(dpy, tile, gc, 0, 0, 2, 2);
    XSetForeground(dpy, gc, 0);
    XDrawPoint(dpy, tile, gc, 0, 0);
    XDrawPoint(dpy, tile, gc, 1, 1);
    XFreeGC(dpy, gc);
    coverScreen(dpy, tile);
}

TEST(CaptureTest, DetailFinerThanThePicturesPixelsTurnsGreyNotIntoMoire) {
    XvfbServer server;
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    Display* dpy = XOpenDisplay(server.name().c_str());
    ASSERT_NE(dpy, nullptr);
    showCheckerboard(dpy);
    XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, 640, 400);
    XSync(dpy, False);
    std::string error;
    const auto capture = X11Capture::open(server.name().c_str(), error);
    ASSERT_TRUE(capture) << error;

    // 667 x 667 screen pixels in 200 x 200: each picture pixel covers more than three
    // squares each way, so every one should be the mean, mid grey.
    const Picture picture =
        decodeJpeg(capture->capture({.w = 200, .h = 200, .zoom = 0.3, .dpr = 1}));
    ASSERT_EQ(picture.width, 200);
    int offGrey = 0;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (!shows(picture, x, y, {128, 128, 128})) ++offGrey;
        }
    }
    EXPECT_EQ(offGrey, 0);
    XCloseDisplay(dpy);
}

}  // namespace
}  // namespace zg::test
