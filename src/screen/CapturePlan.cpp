#include "screen/CapturePlan.h"

#include <algorithm>
#include <cmath>

namespace zg {
namespace {

constexpr double kLongestSide = 1280;  // picture pixels along its longer side, at most
constexpr double kMinOverlap = 1;      // points; a thinner sliver is not worth a capture

// Rounds halves away from zero, never below one pixel.
int pixels(double length) {
    return std::max(static_cast<int>(std::round(length)), 1);
}

}  // namespace

CapturePlan planCapture(Point pointer, Rect display, double displayScale,
                        const CaptureRequest& request) {
    CapturePlan plan;
    const double rw = request.w / request.zoom, rh = request.h / request.zoom;
    plan.region = {pointer.x - rw * 0.5, pointer.y - rh * 0.5, rw, rh};

    // The phone's own density at this zoom, but no finer than the display's pixels and no
    // longer than kLongestSide; pixelScale applies after these caps.
    const double sx = request.dpr * request.w / rw, sy = request.dpr * request.h / rh;
    double s = sy < sx ? sy : sx;
    s = s < displayScale ? s : displayScale;
    const double t = kLongestSide / (rw <= rh ? rh : rw);
    s = t < s ? t : s;
    s *= request.pixelScale;
    plan.scale = s;
    plan.pixelWidth = pixels(rw * s);
    plan.pixelHeight = pixels(rh * s);

    const Rect& r = plan.region;
    const double left = std::max(r.x, display.x), top = std::max(r.y, display.y);
    const double width = std::min(r.right(), display.right()) - left;
    const double height = std::min(r.bottom(), display.bottom()) - top;
    if (width < kMinOverlap || height < kMinOverlap) return plan;

    plan.visible = {left, top, width, height};
    plan.sourceRect = {left - display.x, top - display.y, width, height};
    plan.captureWidth = pixels(width * s);
    plan.captureHeight = pixels(height * s);
    plan.drawRect = {(left - r.x) * s, (top - r.y) * s, width * s, height * s};
    return plan;
}

std::vector<Rect> hiddenInPicture(const CapturePlan& plan, const std::vector<Rect>& hidden) {
    std::vector<Rect> out;
    for (const Rect& window : hidden) {
        const double left = std::max(0.0, std::floor((window.x - plan.region.x) * plan.scale));
        const double top = std::max(0.0, std::floor((window.y - plan.region.y) * plan.scale));
        const double right = std::min(double(plan.pixelWidth),
                                      std::ceil((window.right() - plan.region.x) * plan.scale));
        const double bottom = std::min(double(plan.pixelHeight),
                                       std::ceil((window.bottom() - plan.region.y) * plan.scale));
        if (right > left && bottom > top) out.push_back({left, top, right - left, bottom - top});
    }
    return out;
}

}  // namespace zg
