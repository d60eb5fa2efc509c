#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/Geometry.h"

namespace zg {

// The agent's one window: the QR code of the phone link and a status line with its dot.
// Created once and never destroyed while the agent runs; closing it only hides it.
// Threading: main thread only.
class PairingView {
public:
    virtual ~PairingView() = default;

    // Shows the QR code of `link`; if it cannot be drawn the previous code stays.
    virtual void showCode(const std::string& link) = 0;
    virtual void setStatus(const std::string& text, bool on) = 0;
    // Brings the window to the front and gives it the focus.
    virtual void present() = 0;
    virtual void hide() = 0;
    // Where the window shows on the desktop, frame included, in global points; nothing while
    // it is hidden.
    virtual std::optional<Rect> onScreen() const = 0;

    // Run when the user clicks the status line.
    std::function<void()> onStatusClick;
};

}  // namespace zg
