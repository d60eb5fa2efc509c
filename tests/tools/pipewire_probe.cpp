// Watches PipeWire screen streams through PipeWireScreen, on the default PipeWire daemon:
//   pipewire_probe SECONDS OUT.jpg NODE[@X,Y,WIDTH,HEIGHT]...
// NODE is a stream's node id, X,Y,WIDTH,HEIGHT its monitor in logical points (0,0,1280,800
// unless given). Prints "cursor X Y" each time the cursor moves and "lost WHY" when a stream
// ends; after SECONDS writes the 400 x 300 points around the cursor to OUT.jpg and prints
// "picture W x H, N of M pixels lit". Exits 1 when nothing could be captured or a stream is
// lost.
#include <turbojpeg.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/pipewire/PipeWireScreen.h"

namespace {

// How many pixels of the picture are not black.
int litPixels(const std::string& jpeg, int& width, int& height) {
    tjhandle decoder = tjInitDecompress();
    int subsampling = 0, colours = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
    if (tjDecompressHeader3(decoder, bytes, jpeg.size(), &width, &height, &subsampling, &colours) !=
        0) {
        tjDestroy(decoder);
        return -1;
    }
    std::vector<unsigned char> rgb(size_t(width) * size_t(height) * 3);
    const int result =
        tjDecompress2(decoder, bytes, jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, 0);
    tjDestroy(decoder);
    if (result != 0) return -1;
    int lit = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) lit += rgb[i] + rgb[i + 1] + rgb[i + 2] > 24;
    return lit;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SECONDS OUT.jpg NODE[@X,Y,WIDTH,HEIGHT]...\n", argv[0]);
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    std::vector<zg::ScreenStream> streams;
    for (int i = 3; i < argc; ++i) {
        zg::ScreenStream stream{uint32_t(std::strtoul(argv[i], nullptr, 10)), {0, 0, 1280, 800}};
        if (const char* at = std::strchr(argv[i], '@')) {
            zg::Rect& r = stream.logical;
            if (std::sscanf(at + 1, "%lf,%lf,%lf,%lf", &r.x, &r.y, &r.width, &r.height) != 4) {
                std::fprintf(stderr, "pipewire_probe: %s is no NODE@X,Y,WIDTH,HEIGHT\n", argv[i]);
                return 2;
            }
        }
        streams.push_back(stream);
    }

    std::string error;
    auto screen = zg::PipeWireScreen::open(-1, streams, error);
    if (!screen) {
        std::fprintf(stderr, "pipewire_probe: %s\n", error.c_str());
        return 1;
    }
    std::atomic<bool> lost = false;
    screen->onLost = [&](std::string why) {
        std::printf("lost %s\n", why.c_str());
        std::fflush(stdout);
        lost = true;
    };
    screen->start();

    // Polls, as the streamer would: the probe watches a live desktop, it is no test.
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::optional<zg::Point> shown;
    while (std::chrono::steady_clock::now() < end && !lost) {
        const auto cursor = screen->cursor();
        if (cursor && cursor != shown) {
            std::printf("cursor %g %g\n", cursor->x, cursor->y);
            std::fflush(stdout);
            shown = cursor;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    const auto jpeg = screen->capture({.w = 400, .h = 300, .zoom = 1, .dpr = 1});
    if (!jpeg) {
        std::fprintf(stderr, "pipewire_probe: the picture could not be encoded\n");
        return 1;
    }
    std::ofstream(argv[2], std::ios::binary) << *jpeg;
    int width = 0, height = 0;
    const int lit = litPixels(*jpeg, width, height);
    std::printf("picture %d x %d, %d of %d pixels lit\n", width, height, lit, width * height);
    return lost ? 1 : 0;
}
