#include "platform/canvas/FrameCanvas.h"

#include <algorithm>
#include <cmath>

#include "platform/canvas/PixelScaling.h"

namespace zg {

void FrameCanvas::paint(const CapturePlan& plan, pixman_image_t* source,
                        const std::vector<Rect>& hidden) {
    // Zero is black; what is not drawn over stays black.
    canvas_.assign(size_t(plan.pixelWidth) * size_t(plan.pixelHeight), 0);
    if (source && !plan.empty()) {
        const PixmanImage target(pixman_image_create_bits(
            kFormat, plan.pixelWidth, plan.pixelHeight, canvas_.data(), plan.pixelWidth * 4));
        if (target) {
            drawScaled(source, target.get(), static_cast<int>(std::lround(plan.drawRect.x)),
                       static_cast<int>(std::lround(plan.drawRect.y)), plan.captureWidth,
                       plan.captureHeight);
        }
    }
    // The agent's own windows would otherwise show in the frames: black, as if off screen.
    for (const Rect& window : hiddenInPicture(plan, hidden)) {
        for (int y = int(window.y); y < int(window.bottom()); ++y) {
            uint32_t* row = canvas_.data() + size_t(y) * size_t(plan.pixelWidth);
            std::fill(row + int(window.x), row + int(window.right()), 0);
        }
    }
}

std::optional<std::string> FrameCanvas::render(const CapturePlan& plan, pixman_image_t* source,
                                               const CaptureRequest& request,
                                               std::chrono::steady_clock::time_point started,
                                               CaptureSteps* steps) {
    using Clock = std::chrono::steady_clock;
    const auto grabbed = Clock::now();
    paint(plan, source, request.hidden);
    const auto scaled = Clock::now();
    auto jpeg = encoder_.encode(reinterpret_cast<const uint8_t*>(canvas_.data()), plan.pixelWidth,
                                plan.pixelHeight, request.quality);
    if (steps) *steps = {grabbed - started, scaled - grabbed, Clock::now() - scaled};
    return jpeg;
}

}  // namespace zg
