#pragma once

#include <optional>
#include <string>

namespace zg::bench {

// CPU milliseconds per frame that ffmpeg spends grabbing a screen region with x11grab and
// encoding it as MJPEG, at full pace.
struct PeerCost {
    double perFrame = 0;  // over the whole 300-frame run, start-up included
    double marginal = 0;  // start-up left out: the difference to a one-frame run
};

// Runs ffmpeg on the `width` x `height` region at `x`, `y` of `display` (":N"); nothing when
// ffmpeg is missing or fails.
std::optional<PeerCost> ffmpegCost(const std::string& display, int x, int y, int width, int height);

}  // namespace zg::bench
