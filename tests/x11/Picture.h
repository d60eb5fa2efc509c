#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

namespace zg::test {

struct Rgb {
    int r = 0, g = 0, b = 0;
};
inline constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255},
    kBlack{0, 0, 0};

// A decoded JPEG; 0 x 0 when there was none or it did not decode.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    Rgb at(int x, int y) const;
};

Picture decodeJpeg(const std::optional<std::string>& jpeg);

// Whether the picture shows about `want` at x, y: JPEG blurs and shifts colours a little,
// a wrong area is far off.
::testing::AssertionResult shows(const Picture& picture, int x, int y, Rgb want);

// Whether a 200 x 200 picture, centred where the quadrants of showQuadrants meet, shows each
// colour in its own quarter.
::testing::AssertionResult showsQuadrants(const Picture& picture);

// Maps a window over the whole 1280 x 800 screen in four colours meeting at (640, 400): red
// and green above, blue and white below. Returns once the server has drawn it.
void showQuadrants(Display* dpy);

// Maps a window over the whole 1280 x 800 screen with `background` tiled on it, then lets go
// of the pixmap. Returns once the server has drawn it.
void coverScreen(Display* dpy, Pixmap background);

}  // namespace zg::test
