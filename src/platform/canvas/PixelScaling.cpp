#include "platform/canvas/PixelScaling.h"

namespace zg {
namespace {

// One bilinear pass.
void drawBilinear(pixman_image_t* from, pixman_image_t* to, int x, int y, int width, int height) {
    // The transform maps target pixels back onto source ones.
    pixman_transform_t scale;
    pixman_transform_init_scale(
        &scale, pixman_double_to_fixed(double(pixman_image_get_width(from)) / width),
        pixman_double_to_fixed(double(pixman_image_get_height(from)) / height));
    pixman_image_set_transform(from, &scale);
    pixman_image_set_filter(from, PIXMAN_FILTER_GOOD, nullptr, 0);
    // Edge pixels are repeated for the filter, so nothing from outside seeps in at the borders.
    pixman_image_set_repeat(from, PIXMAN_REPEAT_PAD);
    pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, to, 0, 0, 0, 0, x, y, width, height);
}

}  // namespace

void drawScaled(pixman_image_t* from, pixman_image_t* to, int x, int y, int width, int height) {
    int w = pixman_image_get_width(from), h = pixman_image_get_height(from);
    PixmanImage half;  // the latest halving, when there was one
    while (w > 2 * width || h > 2 * height) {
        if (w > 2 * width) w = (w + 1) / 2;
        if (h > 2 * height) h = (h + 1) / 2;
        PixmanImage next(
            pixman_image_create_bits_no_clear(pixman_image_get_format(to), w, h, nullptr, 0));
        if (!next) return;
        drawBilinear(half ? half.get() : from, next.get(), 0, 0, w, h);
        half = std::move(next);
    }
    drawBilinear(half ? half.get() : from, to, x, y, width, height);
}

}  // namespace zg
