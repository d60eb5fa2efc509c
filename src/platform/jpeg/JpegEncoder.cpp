#include "platform/jpeg/JpegEncoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zg {

JpegEncoder::JpegEncoder() : handle_(tjInitCompress()) {}

JpegEncoder::~JpegEncoder() {
    tjFree(buffer_);
    if (handle_) tjDestroy(handle_);
}

std::optional<std::string> JpegEncoder::encode(const uint8_t* bgrx, int width, int height,
                                               double quality) {
    if (!handle_ || !bgrx || width < 1 || height < 1 || !std::isfinite(quality)) {
        return std::nullopt;
    }
    // The worst case for this size: told not to grow the buffer, the library takes it to be this
    // large, whatever size it is given.
    const unsigned long needed = tjBufSize(width, height, TJSAMP_420);
    if (needed > static_cast<unsigned long>(std::numeric_limits<int>::max())) return std::nullopt;
    if (needed > capacity_) {
        tjFree(buffer_);
        buffer_ = tjAlloc(static_cast<int>(needed));
        capacity_ = buffer_ ? needed : 0;
        if (!buffer_) return std::nullopt;
    }
    const int percent = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
    unsigned long size = capacity_;
    if (tjCompress2(handle_, bgrx, width, width * 4, height, TJPF_BGRX, &buffer_, &size, TJSAMP_420,
                    std::max(percent, 1), TJFLAG_NOREALLOC) != 0) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(buffer_), size);
}

}  // namespace zg
