#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;
struct wl_display;
struct wl_registry;
struct wl_seat;
struct wl_keyboard;
struct xkb_context;
struct xkb_keymap;

namespace zg {

// The keyboard layout of the Wayland desktop the agent runs on, as the compositor gives it to
// its clients, on a connection of its own: the compositor types a keysym only where its
// layout has a key for it, and drops the others without a word. Follows the layout as it
// changes, through the main loop's socket notifier.
// Threading: main thread only; needs a QCoreApplication.
class WaylandKeymap {
public:
    // Connects to $WAYLAND_DISPLAY; without one, or when the connection fails, it knows nothing.
    WaylandKeymap();
    ~WaylandKeymap();
    WaylandKeymap(const WaylandKeymap&) = delete;
    WaylandKeymap& operator=(const WaylandKeymap&) = delete;

    // Whether some key of the active layout types `keysym` at some level (with Shift, AltGr and
    // the like); nullopt when no layout is known (yet).
    std::optional<bool> types(uint32_t keysym) const;
    // Why nothing is known, when that is not just the layout still on its way.
    const std::string& problem() const { return problem_; }

    // For the listeners, which are plain C callbacks.
    struct Events;

private:
    void readable();
    void fail(const std::string& why);
    void disconnect();
    void seatCapabilities(uint32_t capabilities);
    void keymap(uint32_t format, int fd, uint32_t size);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    wl_keyboard* keyboard_ = nullptr;
    xkb_context* context_ = nullptr;
    xkb_keymap* keymap_ = nullptr;
    // The active layout, known only while one of the agent's windows has the keyboard focus:
    // the compositor tells it to the focused client only.
    std::optional<uint32_t> layout_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string problem_;
};

}  // namespace zg
