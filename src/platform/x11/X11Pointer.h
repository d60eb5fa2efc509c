#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "platform/Pointer.h"
#include "platform/WheelNotches.h"
#include "platform/x11/X11Display.h"

namespace zg {

// Pointer events through XTest; displays from RandR monitors.
// Threading: main thread only, like the display it uses.
class X11Pointer : public Pointer {
public:
    // The double-click interval when no settings manager gives one (the toolkits' default).
    static constexpr Seconds kDefaultDoubleClick = 0.4;
    // How long a reading of the monitor layout is reused: asking the server costs more than
    // the rest of a pointer move together, and layouts change rarely.
    static constexpr std::chrono::milliseconds kMonitorsMaxAge{1000};

    explicit X11Pointer(X11Display& display);
    // Lets go of any button this pointer still holds.
    ~X11Pointer() override;

    Point location() override;
    std::vector<Rect> displays() override;
    void moveTo(Point to, bool leftHeld, int clickCount) override;
    void button(MouseButton button, bool down, Point at, int clickCount) override;
    void scroll(int pixels) override;
    Seconds doubleClickInterval() override;

private:
    bool postMotion(Point to);
    void postButton(unsigned button, bool down);

    X11Display& display_;
    const bool hasMonitors_;  // RandR 1.5 or later
    std::vector<Rect> monitors_;
    std::chrono::steady_clock::time_point monitorsRead_;
    WheelNotches wheel_;          // X wheels only click
    std::array<bool, 2> held_{};  // by MouseButton
};

}  // namespace zg
