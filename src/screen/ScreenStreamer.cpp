#include "screen/ScreenStreamer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zg {
namespace {

double finiteOr(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
}

double positiveOr(double value, double fallback) {
    return std::isfinite(value) && value > 0 ? value : fallback;
}

}  // namespace

ScreenStreamer::ScreenStreamer(Loop& loop, ScreenAccess& access, Capture capture, SendFrame send)
    : loop_(loop), access_(access), capture_(std::move(capture)), send_(std::move(send)) {}

void ScreenStreamer::start(double w, double h, double zoom, double dpr) {
    const CaptureRequest defaults;
    next_.w = std::clamp(finiteOr(w, defaults.w), 40.0, 4000.0);
    next_.h = std::clamp(finiteOr(h, defaults.h), 40.0, 4000.0);
    next_.zoom = std::clamp(positiveOr(zoom, defaults.zoom), 0.1, 8.0);
    next_.dpr = std::clamp(positiveOr(dpr, defaults.dpr), 1.0, 3.0);
    on_ = true;
    dirty_ = true;
    acked_ = sent_;  // frames outstanding from before are forgotten
    told_.reset();   // problems are reported, and the permission asked for, afresh
    // The handle cancels the timer when the streamer goes, so a tick never outlives it.
    if (!timer_) timer_ = loop_.every(kTickInterval, [this] { tick(); });
}

void ScreenStreamer::stop() {
    on_ = false;
}

void ScreenStreamer::ack(int64_t n) {
    if (n > acked_) acked_ = std::min(n, sent_);
}

void ScreenStreamer::tick() {
    if (!on_ || busy_) return;
    if (sent_ - acked_ >= kWindow) {
        if (loop_.now() - lastSend_ < kWindowReopen) return;
        acked_ = sent_;  // the phone went quiet: take what it has not confirmed as seen
    }
    if (!access_.available()) {
        report(access_.unavailableText());
        on_ = false;  // this will not change while the agent runs; the phone must ask again
        return;
    }
    if (!access_.permitted()) {
        if (!told_) access_.requestPermission();
        report(access_.notPermittedText());
        return;  // asked again at every tick, so frames start once the user allows it
    }
    if (told_ || shown_) report(std::nullopt);

    busy_ = true;
    CaptureRequest request = next_;
    if (ownWindows) request.hidden = ownWindows();
    auto done = lifetime_.guard([this, zoom = request.zoom](std::optional<std::string>& data) {
        busy_ = false;
        if (data) deliver(*data, zoom);
    });
    // The background part holds only copies, never the streamer.
    loop_.background([&loop = loop_, capture = capture_, request, done = std::move(done)] {
        loop.post([done, data = capture(request)]() mutable { done(data); });
    });
}

void ScreenStreamer::deliver(const std::string& data, double zoom) {
    if (!on_) return;
    const uint64_t hash = frameFingerprint(data);
    const Seconds now = loop_.now();
    // dirty_ still holds whatever it held when this capture began: only a sent frame clears
    // it, and captures never overlap.
    if (hash == lastHash_ && !dirty_ && now - lastSend_ < kResendUnchanged) return;
    const size_t chars = send_(sent_ + 1, zoom, data);
    adaptToSize(chars);
    if (chars > kMaxImageChars) return;  // not sent: the next capture tries smaller
    ++sent_;
    lastSend_ = now;
    lastHash_ = hash;
    dirty_ = false;
}

// Quality goes first both ways. Only when the lowest quality is still too large do pictures
// get fewer pixels, and they get them back only once the top quality is comfortably small.
// One pixel step up grows a frame about 1 / 0.8^2 = 1.56 times, and 60000 x 1.56 is far below
// 200000, so the step back up cannot by itself push frames over the limit again.
void ScreenStreamer::adaptToSize(size_t chars) {
    double& quality = next_.quality;
    double& pixels = next_.pixelScale;
    if (chars > kMaxImageChars) {
        if (quality > kQualityFloor) {
            quality = std::max(quality - kQualityDrop, kQualityFloor);
        } else {
            pixels = std::max(pixels * kPixelStep, kPixelFloor);
        }
    } else if (chars < kSmallImageChars) {
        if (quality < kQualityTop) {
            quality += kQualityRise;
        } else {
            pixels = std::min(pixels / kPixelStep, 1.0);
        }
    }
}

void ScreenStreamer::report(std::optional<std::string> problem) {
    if (problem && problem == told_) return;
    told_ = problem;
    shown_ = problem.has_value();
    if (onError) onError(std::move(problem));
}

uint64_t frameFingerprint(std::string_view data) {
    uint64_t value = 0xcbf29ce484222325;
    for (size_t i = 0; i < data.size(); i += 7) {
        value ^= static_cast<uint8_t>(data[i]);
        value *= 0x100000001b3;
    }
    return value ^ data.size();
}

}  // namespace zg
