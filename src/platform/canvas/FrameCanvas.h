#pragma once

#include <pixman.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/jpeg/JpegEncoder.h"
#include "screen/CapturePlan.h"

namespace zg {

// How long the steps of one capture took, for benchmarks: finding the pointer and grabbing
// the pixels around it, scaling them onto the black canvas, encoding the canvas.
struct CaptureSteps {
    std::chrono::steady_clock::duration grab{}, scale{}, encode{};
};

// The picture of one capture, the same whichever backend grabbed the pixels: a black canvas of
// the plan's size, the grabbed pixels scaled onto their place in it, the agent's own windows
// blacked out, encoded as JPEG.
// Threading: one thread at a time; canvas and encoder are kept from picture to picture.
class FrameCanvas {
public:
    // In memory blue, green, red, unused, as the encoder takes it; pixman names formats by the
    // bits of a native 32-bit word.
    static constexpr pixman_format_code_t kFormat =
        std::endian::native == std::endian::little ? PIXMAN_x8r8g8b8 : PIXMAN_b8g8r8x8;

    // Paints the picture of `plan`: `source` (the plan's visible part at any size; nullptr when
    // nothing was grabbed) scaled to the plan's capture size at its drawRect, black elsewhere
    // and where `hidden` (global points) falls.
    void paint(const CapturePlan& plan, pixman_image_t* source, const std::vector<Rect>& hidden);

    // Paints, then encodes at the request's quality; nothing when encoding fails. `steps`, when
    // given, receives the time of each step, the grab counted from `started` to this call.
    std::optional<std::string> render(const CapturePlan& plan, pixman_image_t* source,
                                      const CaptureRequest& request,
                                      std::chrono::steady_clock::time_point started,
                                      CaptureSteps* steps);

    // The picture painted last, rows packed, in kFormat.
    const std::vector<uint32_t>& pixels() const { return canvas_; }

private:
    std::vector<uint32_t> canvas_;
    JpegEncoder encoder_;
};

}  // namespace zg
