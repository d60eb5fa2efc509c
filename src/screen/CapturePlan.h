#pragma once

#include <vector>

#include "platform/Geometry.h"

namespace zg {

// What one capture is asked to show and how: the phone's view, its zoom and pixel density,
// the JPEG quality, and a factor below 1 that trades sharpness for size when even the lowest
// quality makes frames too large to send.
struct CaptureRequest {
    double w = 390;           // phone view width, in phone layout units
    double h = 600;           // phone view height
    double zoom = 1;          // phone units per screen point
    double dpr = 2;           // phone device pixels per layout unit
    double quality = 0.6;     // JPEG quality, 0 to 1
    double pixelScale = 1.0;  // multiplies the picture's pixels per point
    // The agent's own windows on screen, in global points: a frame shows black there rather
    // than the agent itself.
    std::vector<Rect> hidden{};
};

// The geometry of one frame: the region centred on the pointer, the part of it on the display,
// and where that part lands in the picture. All rectangles use a top-left origin with y down,
// the picture's too (its canvas is a top-down buffer).
struct CapturePlan {
    Rect region;          // R: what the picture shows, in global points; never shifted
    Rect visible;         // V: R on the display; empty when there is nothing to capture
    double scale = 0;     // s: picture pixels per point
    int pixelWidth = 1;   // W: picture size; the picture is this size even when all black
    int pixelHeight = 1;  // H
    // The rest is set only when !empty().
    Rect sourceRect;       // V relative to the display's top-left corner
    int captureWidth = 0;  // pixel size to capture V at
    int captureHeight = 0;
    Rect drawRect;  // where the captured pixels go in the picture, in picture pixels

    // Nothing to capture: the picture is all black.
    bool empty() const { return visible.empty(); }
};

// Plans the picture around `pointer` on the display with bounds `display` and
// `displayScale` pixels per point.
CapturePlan planCapture(Point pointer, Rect display, double displayScale,
                        const CaptureRequest& request);

// Where `hidden` (global points) falls in the picture, in whole picture pixels, rounded
// outwards and clipped to it; rectangles off the picture are left out.
std::vector<Rect> hiddenInPicture(const CapturePlan& plan, const std::vector<Rect>& hidden);

}  // namespace zg
