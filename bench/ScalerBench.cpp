// Which library should scale captured pixels to the picture size, for the factors the capture
// plan produces on X11: 1 for the default view, below 1 when zoomed out or held to 1280 pixels.
// Each scaler is timed per frame and judged by PSNR against an exact area average (the light
// each picture pixel's footprint gets) on text over noise, and by the ripple it leaves on a
// one-pixel checkerboard, which a scaler that does not alias turns into flat grey. Reports,
// never asserts.
#include <pixman.h>
extern "C" {
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScreenContent.h"
#include "XvfbServer.h"
#include "platform/canvas/PixelScaling.h"

#include <X11/Xutil.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kScreenWidth = 2560, kScreenHeight = 1600;
constexpr int kRuns = 40;
constexpr double kTimeBudget = 1.5;  // seconds per scaler and case, for the slow ones

// Pixels as the capture holds them: 32-bit words, red in bits 16-23, rows packed.
struct Bitmap {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;

    Bitmap(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h)) {}
    int stride() const { return width * 4; }
    int channel(size_t i, int c) const { return (pixels[i] >> (16 - 8 * c)) & 0xff; }
};

struct Scaler {
    std::string name;
    std::function<void(const Bitmap&, Bitmap&)> scale;
};

struct PixmanImageDeleter {
    void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using PixmanImage = std::unique_ptr<pixman_image_t, PixmanImageDeleter>;

// One pass of pixman with `filter` over the whole target.
void pixmanScale(const Bitmap& from, Bitmap& to, pixman_filter_t filter,
                 const std::vector<pixman_fixed_t>& params) {
    const PixmanImage source(pixman_image_create_bits(PIXMAN_x8r8g8b8, from.width, from.height,
                                                      const_cast<uint32_t*>(from.pixels.data()),
                                                      from.stride()));
    const PixmanImage target(pixman_image_create_bits(PIXMAN_x8r8g8b8, to.width, to.height,
                                                      to.pixels.data(), to.stride()));
    pixman_transform_t scale;
    pixman_transform_init_scale(&scale, pixman_double_to_fixed(double(from.width) / to.width),
                                pixman_double_to_fixed(double(from.height) / to.height));
    pixman_image_set_transform(source.get(), &scale);
    pixman_image_set_filter(source.get(), filter, params.data(), int(params.size()));
    pixman_image_set_repeat(source.get(), PIXMAN_REPEAT_PAD);
    pixman_image_composite32(PIXMAN_OP_SRC, source.get(), nullptr, target.get(), 0, 0, 0, 0, 0, 0,
                             to.width, to.height);
}

Scaler pixmanGood() {
    return {"pixman GOOD (bilinear)",
            [](const Bitmap& from, Bitmap& to) { pixmanScale(from, to, PIXMAN_FILTER_GOOD, {}); }};
}

// The capture's own scaling: bilinear, after halving the sides that shrink to less than half.
Scaler pixmanHalvingFirst() {
    return {"pixman GOOD, halving first", [](const Bitmap& from, Bitmap& to) {
                const PixmanImage source(pixman_image_create_bits(
                    PIXMAN_x8r8g8b8, from.width, from.height,
                    const_cast<uint32_t*>(from.pixels.data()), from.stride()));
                const PixmanImage target(pixman_image_create_bits(
                    PIXMAN_x8r8g8b8, to.width, to.height, to.pixels.data(), to.stride()));
                zg::drawScaled(source.get(), target.get(), 0, 0, to.width, to.height);
            }};
}

// A separable convolution sized for the factor, made afresh for each frame as a capture would.
Scaler pixmanConvolution(const char* name, pixman_kernel_t reconstruct, pixman_kernel_t sample) {
    return {std::string("pixman conv ") + name, [=](const Bitmap& from, Bitmap& to) {
                int count = 0;
                pixman_fixed_t* made = pixman_filter_create_separable_convolution(
                    &count, pixman_double_to_fixed(double(from.width) / to.width),
                    pixman_double_to_fixed(double(from.height) / to.height), reconstruct,
                    reconstruct, sample, sample, 4, 4);
                const std::vector<pixman_fixed_t> params(made, made + count);
                free(made);
                pixmanScale(from, to, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params);
            }};
}

struct SwsDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

// The context is kept across frames, as a capture would keep it while the size holds.
Scaler swscale(const char* name, int flags) {
    auto context = std::make_shared<std::unique_ptr<SwsContext, SwsDeleter>>();
    return {
        std::string("swscale ") + name, [=](const Bitmap& from, Bitmap& to) {
            context->reset(sws_getCachedContext(context->release(), from.width, from.height,
                                                AV_PIX_FMT_BGR0, to.width, to.height,
                                                AV_PIX_FMT_BGR0, flags, nullptr, nullptr, nullptr));
            const uint8_t* source[] = {reinterpret_cast<const uint8_t*>(from.pixels.data())};
            const int sourceStride[] = {from.stride()};
            uint8_t* target[] = {reinterpret_cast<uint8_t*>(to.pixels.data())};
            const int targetStride[] = {to.stride()};
            sws_scale(context->get(), source, sourceStride, 0, from.height, target, targetStride);
        }};
}

// Each target pixel as the exact mean of the source area under it, channel by channel.
std::vector<double> areaAverage(const Bitmap& from, int width, int height) {
    const auto weights = [](int n, int m) {  // m target cells over n source cells
        std::vector<std::vector<std::pair<int, double>>> cells(static_cast<size_t>(m));
        const double step = double(n) / m;
        for (int i = 0; i < m; ++i) {
            const double left = i * step, right = left + step;
            for (int j = int(left); j < n && j < right; ++j) {
                const double cover = std::min(right, j + 1.0) - std::max(left, double(j));
                if (cover > 0) cells[size_t(i)].push_back({j, cover / step});
            }
        }
        return cells;
    };
    const auto across = weights(from.width, width), down = weights(from.height, height);
    std::vector<double> rows(size_t(from.height) * size_t(width) * 3);
    for (int y = 0; y < from.height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (const auto& [j, w] : across[size_t(x)]) {
                const size_t s = size_t(y) * size_t(from.width) + size_t(j);
                for (int c = 0; c < 3; ++c) {
                    rows[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)] +=
                        w * from.channel(s, c);
                }
            }
        }
    }
    std::vector<double> out(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (const auto& [j, w] : down[size_t(y)]) {
            for (size_t i = 0; i < size_t(width) * 3; ++i) {
                out[size_t(y) * size_t(width) * 3 + i] +=
                    w * rows[size_t(j) * size_t(width) * 3 + i];
            }
        }
    }
    return out;
}

double psnr(const Bitmap& picture, const std::vector<double>& reference) {
    double squares = 0;
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            const double d = picture.channel(i, c) - reference[i * 3 + size_t(c)];
            squares += d * d;
        }
    }
    const double mean = squares / double(picture.pixels.size() * 3);
    return mean > 0 ? 10 * std::log10(255.0 * 255.0 / mean) : INFINITY;
}

// Root-mean-square distance from the flat grey that a scaled checkerboard should be, three
// pixels in from the edges (where padding differs between scalers).
double ripple(const Bitmap& picture) {
    double squares = 0;
    size_t count = 0;
    for (int y = 3; y < picture.height - 3; ++y) {
        for (int x = 3; x < picture.width - 3; ++x) {
            const double d =
                picture.channel(size_t(y) * size_t(picture.width) + size_t(x), 1) - 127.5;
            squares += d * d;
            ++count;
        }
    }
    return std::sqrt(squares / double(count));
}

Bitmap checkerboard(int width, int height) {
    Bitmap board(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            board.pixels[size_t(y) * size_t(width) + size_t(x)] = (x + y) % 2 ? 0xffffff : 0;
        }
    }
    return board;
}

// The middle of the screen, as the capture grabs it.
Bitmap grabMiddle(Display* dpy, int width, int height) {
    XImage* image = XGetImage(dpy, DefaultRootWindow(dpy), (kScreenWidth - width) / 2,
                              (kScreenHeight - height) / 2, unsigned(width), unsigned(height),
                              AllPlanes, ZPixmap);
    Bitmap bitmap(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bitmap.pixels[size_t(y) * size_t(width) + size_t(x)] =
                uint32_t(XGetPixel(image, x, y)) & 0xffffff;
        }
    }
    XDestroyImage(image);
    return bitmap;
}

struct Times {
    double p50 = 0, p90 = 0;  // milliseconds
};

Times time(const Scaler& scaler, const Bitmap& from, Bitmap& to) {
    scaler.scale(from, to);  // first touches of caches and contexts, not counted
    std::vector<double> ms;
    const auto start = Clock::now();
    while (ms.size() < size_t(kRuns) &&
           std::chrono::duration<double>(Clock::now() - start).count() < kTimeBudget) {
        const auto t = Clock::now();
        scaler.scale(from, to);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 9 / 10]};
}

struct Case {
    const char* what;
    int fromWidth, fromHeight, toWidth, toHeight;
};

}  // namespace

int main() {
    av_log_set_level(AV_LOG_ERROR);
    zg::test::XvfbServer server({"-screen", "0", "2560x1600x24"});
    Display* dpy = server.name().empty() ? nullptr : XOpenDisplay(server.name().c_str());
    if (!dpy) {
        std::printf("scaler: no X server, so no text to scale; skipped\n");
        return 0;
    }
    zg::bench::showContent(dpy, zg::bench::Content::Busy);

    const std::vector<Scaler> scalers = {
        pixmanGood(),
        pixmanHalvingFirst(),
        pixmanConvolution("box", PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX),
        pixmanConvolution("cubic", PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_CUBIC),
        pixmanConvolution("lanczos3", PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_LANCZOS3),
        swscale("FAST_BILINEAR", SWS_FAST_BILINEAR),
        swscale("BILINEAR", SWS_BILINEAR),
        swscale("AREA", SWS_AREA),
        swscale("BICUBIC", SWS_BICUBIC),
    };
    const Case cases[] = {
        {"default view, 1:1", 390, 600, 390, 600},
        {"1280 cap, x0.8", 1600, 1000, 1280, 800},
        {"1280 cap, x0.5", 2560, 1600, 1280, 800},
        {"zoomed out, x0.3", 2560, 1600, 768, 480},
    };

    std::printf("scaler: %-18s %-26s %8s %8s %9s %8s %8s\n", "case", "scaler", "p50 ms", "p90 ms",
                "PSNR dB", "ripple", "time");
    for (const Case& c : cases) {
        const Bitmap text = grabMiddle(dpy, c.fromWidth, c.fromHeight);
        const Bitmap board = checkerboard(c.fromWidth, c.fromHeight);
        const std::vector<double> reference = areaAverage(text, c.toWidth, c.toHeight);
        double baseline = 0;
        for (const Scaler& scaler : scalers) {
            Bitmap to(c.toWidth, c.toHeight);
            const Times times = time(scaler, text, to);
            const double quality = psnr(to, reference);
            scaler.scale(board, to);
            if (baseline == 0) baseline = times.p50;
            std::printf("scaler: %-18s %-26s %8.2f %8.2f %9.1f %8.1f %7.1fx\n", c.what,
                        scaler.name.c_str(), times.p50, times.p90, quality, ripple(to),
                        times.p50 / baseline);
        }
    }
    std::printf(
        "scaler: PSNR against an exact area average of text over noise (higher is closer); "
        "ripple: RMS grey levels left on a one-pixel checkerboard (0 is flat, 127.5 is none "
        "removed); time: p50 against one pass of pixman GOOD\n");
    XCloseDisplay(dpy);
    return 0;
}
