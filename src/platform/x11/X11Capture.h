#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/canvas/FrameCanvas.h"
#include "platform/x11/X11Display.h"
#include "screen/CapturePlan.h"

// Xlib's image type, named here so that no X header leaks into code that includes this one.
struct _XImage;

namespace zg {

// JPEG pictures of the screen around the pointer: the display under it, grabbed with MIT-SHM
// (plain GetImage where shared memory is missing or refused), scaled and encoded.
// Threading: one thread at a time, in practice the streamer's background task; it may be made
// and destroyed elsewhere. It has an X connection of its own because the main thread's
// connection must never be touched off the main thread.
class X11Capture {
public:
    // How long a reading of the monitor layout is reused: captures run many times a second
    // and layouts change rarely.
    static constexpr std::chrono::seconds kMonitorsMaxAge{3};

    // Connects to `name` (nullptr: $DISPLAY); nullptr with `error` set when that fails.
    static std::unique_ptr<X11Capture> open(const char* name, std::string& error);
    ~X11Capture();
    X11Capture(const X11Capture&) = delete;
    X11Capture& operator=(const X11Capture&) = delete;

    // The picture `request` describes around the current pointer; all black (same size) when
    // nothing could be grabbed; nothing when it cannot be encoded. `steps`, when given, receives
    // the time each step took.
    std::optional<std::string> capture(const CaptureRequest& request,
                                       CaptureSteps* steps = nullptr);

private:
    struct SharedImage;

    explicit X11Capture(std::unique_ptr<X11Display> display);
    Point pointer();
    Rect displayUnder(Point pointer);
    // Root-window pixels, owned by the caller; nullptr when they cannot be had (that way).
    _XImage* grabVisible(const CapturePlan& plan, Rect display);
    _XImage* grabShared(int x, int y, int width, int height);
    _XImage* grab(int x, int y, int width, int height);
    bool reserveShared(size_t bytes);
    void releaseShared();

    std::unique_ptr<X11Display> display_;
    const bool hasMonitors_;
    std::vector<Rect> monitors_;  // the primary one first
    std::chrono::steady_clock::time_point monitorsRead_;
    std::unique_ptr<SharedImage> shared_;  // absent once shared memory has failed
    FrameCanvas canvas_;
};

}  // namespace zg
