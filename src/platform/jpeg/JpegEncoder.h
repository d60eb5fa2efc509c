#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zg {

// Encodes a top-down `width` x `height` picture of 4 bytes per pixel in memory order blue,
// green, red, unused (rows packed, no padding) as a baseline JPEG with 4:2:0 chroma.
// `quality` runs from 0 to 1 and is clamped to what the encoder takes. Nothing when the
// encoder cannot be made or fails.
// Threading: any thread; calls share nothing.
std::optional<std::string> encodeJpeg(const uint8_t* bgrx, int width, int height, double quality);

}  // namespace zg
