#pragma once

#include <pixman.h>

#include <memory>

namespace zg {

struct PixmanDeleter {
    void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
// A pixman image, let go of with its owner.
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanDeleter>;

// Draws all of `from` scaled to `width` x `height` at `x`, `y` on `to`, filtered so that fine
// detail such as text does not alias into moire. Bilinear (pixman's GOOD) blends the 2 x 2
// source pixels nearest each target pixel, so it skips pixels when it shrinks a side to less
// than half; such a side is halved first, where bilinear is an exact 2 x 2 mean, until one
// pass can take the rest. Draws nothing when pixman cannot make an intermediate image.
// Threading: any thread; calls share nothing.
void drawScaled(pixman_image_t* from, pixman_image_t* to, int x, int y, int width, int height);

}  // namespace zg
