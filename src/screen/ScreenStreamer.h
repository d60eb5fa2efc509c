#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Loop.h"
#include "platform/ScreenAccess.h"
#include "screen/CapturePlan.h"

namespace zg {

// Turns the phone's wish to see the screen into a paced stream of frames: one
// capture at a time, at most kWindow frames unacknowledged, unchanged pictures held back,
// and quality (then pixel density) stepped down whenever a frame is too large to send.
// Threading: main thread only. `capture` runs on the loop's background thread with its own
// copy of the request; its result comes back through Loop::post.
class ScreenStreamer {
public:
    // JPEG bytes of the region the request describes, or nothing when no picture could be
    // made. Called off the main thread, never twice at once.
    using Capture = std::function<std::optional<std::string>(const CaptureRequest&)>;
    // Sends frame `n` with its JPEG bytes, captured at `zoom`, unless the message carrying it
    // would be over kMaxImageChars; returns that message's size in characters either way.
    using SendFrame =
        std::function<std::size_t(std::int64_t n, double zoom, std::string_view jpeg)>;

    static constexpr Seconds kTickInterval = 0.07;
    static constexpr int64_t kWindow = 3;          // frames sent but not acknowledged
    static constexpr Seconds kWindowReopen = 1.5;  // silence after which they count as seen
    static constexpr Seconds kResendUnchanged = 3.0;
    static constexpr size_t kMaxImageChars = 200000;  // characters one frame's message carries
    static constexpr size_t kSmallImageChars = 60000;
    static constexpr double kQualityFloor = 0.25;
    static constexpr double kQualityDrop = 0.15;
    static constexpr double kQualityRise = 0.05;
    static constexpr double kQualityTop = 0.7;
    static constexpr double kPixelStep = 0.8;
    // A sixteenth of the pixels: the largest picture (1280 x 1280) then has 320 x 320, which
    // stays far below the limit at the lowest quality even for pure noise (about 4 bits a
    // pixel), yet still shows the layout of the screen.
    static constexpr double kPixelFloor = 0.25;

    ScreenStreamer(Loop& loop, ScreenAccess& access, Capture capture, SendFrame send);
    ScreenStreamer(const ScreenStreamer&) = delete;
    ScreenStreamer& operator=(const ScreenStreamer&) = delete;

    // Told a problem the user must act on, once each time it appears; told nothing when the
    // problem is gone.
    std::function<void(std::optional<std::string> problem)> onError;
    // The agent's own windows on screen now, in global points, kept out of the frames; asked
    // before each capture. May be absent.
    std::function<std::vector<Rect>()> ownWindows;

    // Starts streaming, or changes the view while streaming. Values the phone left out or
    // got wrong fall back to defaults and are clamped to sane ranges.
    void start(double w, double h, double zoom, double dpr);
    // Stops sending; a capture in progress finishes and is discarded.
    void stop();
    // The phone has received frame `n` and every one before it.
    void ack(int64_t n);
    bool streaming() const { return on_; }

private:
    void tick();
    void deliver(const std::string& data, double zoom);
    void adaptToSize(size_t chars);
    void report(std::optional<std::string> problem);

    Loop& loop_;
    ScreenAccess& access_;
    const Capture capture_;
    const SendFrame send_;
    bool on_ = false;
    bool dirty_ = false;   // the next finished frame goes out even if unchanged
    bool busy_ = false;    // a capture is running
    CaptureRequest next_;  // what the next capture is asked for
    int64_t sent_ = 0;
    int64_t acked_ = 0;
    Seconds lastSend_ = -std::numeric_limits<Seconds>::infinity();  // the distant past
    uint64_t lastHash_ = 0;
    std::optional<std::string> told_;  // the problem last reported, while it stands
    bool shown_ = false;               // onError's receiver holds a problem not yet withdrawn
    ScheduledHandle timer_;            // cancelled with the streamer
    Lifetime lifetime_;                // a capture finishing after the streamer is gone is dropped
};

// Cheap change detection: 64-bit FNV-1a over every seventh byte, XOR the length.
uint64_t frameFingerprint(std::string_view data);

}  // namespace zg
