#pragma once

#include <algorithm>
#include <cstdint>

namespace zg {

// Turns scroll distances in pixels into whole wheel notches for desktops whose wheels only
// click, keeping what is left over for the next distance.
class WheelNotches {
public:
    // One notch per this many pixels. Most toolkits scroll about three text lines (50 to 60 px)
    // per notch, so the content moves about as far as the same pixel distance moves it on a
    // desktop with smooth scrolling.
    static constexpr int kPixelsPerNotch = 50;
    // The most notches one distance gives, so that an absurd distance cannot stall the agent;
    // the excess is dropped, not kept for later.
    static constexpr int kMaxNotches = 40;

    // The notches `pixels` completes; positive towards the top of the page.
    int take(int pixels) {
        remainder_ += pixels;
        int64_t notches = remainder_ / kPixelsPerNotch;  // towards zero
        remainder_ -= notches * kPixelsPerNotch;
        if (notches > kMaxNotches || notches < -kMaxNotches) {
            notches = std::clamp<int64_t>(notches, -kMaxNotches, kMaxNotches);
            remainder_ = 0;
        }
        return static_cast<int>(notches);
    }

private:
    int64_t remainder_ = 0;
};

}  // namespace zg
