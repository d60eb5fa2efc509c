#pragma once

#include <array>
#include <string>

namespace zg {

// The tray menu's contents, shared by every toolkit that shows it.
namespace menu {
inline constexpr const char* kShow = "Show QR code";
inline constexpr const char* kNewCode = "New code (disconnects phones)";
inline constexpr const char* kSpeed = "Pointer speed";
inline constexpr const char* kRing = "Ring around the pointer";
inline constexpr const char* kRingUnavailable =
    "Ring around the pointer (not available on this desktop)";
inline constexpr const char* kAskAgain = "Ask for access again";
inline constexpr const char* kLogin = "Start at login";
inline constexpr const char* kQuit = "Quit";

// The pointer speeds offered, in menu order.
inline constexpr std::array<double, 6> kSpeeds = {0.5, 0.75, 1.0, 1.5, 2.0, 3.0};

// "1×", "0.75×": the value as an integer when whole, else its shortest exact decimal.
std::string speedTitle(double value);

// Whether the speed item of `value` carries the check mark under the stored `speed`; values
// within 0.01 count as equal, so a speed between the offered ones ticks none.
bool speedTicked(double value, double speed);
}  // namespace menu

// The check marks and which items apply, recomputed each time the menu opens.
struct MenuTicks {
    bool ring = false;
    // Whether this desktop lets the ring be drawn at all.
    bool ringAvailable = true;
    bool login = false;
    // Whether access to the desktop is missing and asking again could give it.
    bool askAgain = false;
    std::array<bool, menu::kSpeeds.size()> speeds{};
};

}  // namespace zg
