#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zg {

// Encodes pictures as baseline JPEG with 4:2:0 chroma. Keeps its encoder and output buffer from
// one picture to the next, rather than making them afresh for every frame.
// Threading: one thread at a time.
class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // A top-down `width` x `height` picture of 4 bytes per pixel in memory order blue, green,
    // red, unused (rows packed, no padding). `quality` runs from 0 to 1 and is clamped to what
    // the encoder takes. Nothing when the encoder cannot be made or fails.
    std::optional<std::string> encode(const uint8_t* bgrx, int width, int height, double quality);

private:
    void* handle_;
    unsigned char* buffer_ = nullptr;
    unsigned long capacity_ = 0;
};

}  // namespace zg
