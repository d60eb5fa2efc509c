#include "platform/jpeg/JpegEncoder.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace zg {
namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
struct BufferFreer {
    void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

}  // namespace

std::optional<std::string> encodeJpeg(const uint8_t* bgrx, int width, int height, double quality) {
    if (!bgrx || width < 1 || height < 1 || !std::isfinite(quality)) return std::nullopt;
    const std::unique_ptr<void, HandleCloser> handle(tjInitCompress());
    if (!handle) return std::nullopt;
    const int percent = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
    unsigned char* out = nullptr;  // sized and allocated by the encoder
    unsigned long size = 0;
    const int failed = tjCompress2(handle.get(), bgrx, width, width * 4, height, TJPF_BGRX, &out,
                                   &size, TJSAMP_420, std::max(percent, 1), 0);
    const std::unique_ptr<unsigned char, BufferFreer> owned(out);
    if (failed || !out) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(out), size);
}

}  // namespace zg
