#pragma once

#include "platform/Loop.h"
#include "platform/RingView.h"

namespace zg {

// The ring around the pointer while a phone moves it: it follows every posted pointer event,
// pulses on button events and fades once the pointer has been still for a while.
// Threading: main thread only.
class Ring {
public:
    static constexpr double kSize = 76;
    static constexpr double kDiameter = 64;
    static constexpr double kStrokeWidth = 3.5;
    static constexpr double kOutlineWidth = 7;
    static constexpr double kPulseWidth = 12;
    static constexpr Seconds kPulseDuration = 0.32;
    static constexpr Seconds kFadeDelay = 2.5;
    static constexpr Seconds kFadeDuration = 0.45;

    Ring(Loop& loop, RingView& view) : loop_(loop), view_(view) {}

    // Shows the ring centred on `point` (top-left-origin desktop coordinates, y downwards).
    void at(Point point, bool pulse);
    // Hides the ring at once; a pending fade never runs.
    void off();

    // Where the window goes for a ring centred on `point`.
    static Point origin(Point point, std::optional<double> flipHeight);

private:
    Loop& loop_;
    RingView& view_;
    ScheduledHandle fade_;  // owned, so a fade never outlives the Ring
};

}  // namespace zg
