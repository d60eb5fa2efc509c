#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Keyboard.h"
#include "platform/Loop.h"
#include "platform/Pointer.h"
#include "platform/ScreenStream.h"
#include "platform/WheelNotches.h"
#include "platform/portal/RemoteInput.h"

namespace zg {

// Pointer events through a remote-desktop session. Positions are absolute within the monitor
// under them, so they land exactly where the core put them, whatever the pointer acceleration.
// Threading: main thread only.
class PortalPointer : public Pointer {
public:
    // How long after a move of ours the cursor the streams report may still lag behind it.
    static constexpr Seconds kCursorLag = 0.5;
    // The double-click interval; a portal does not tell the desktop's own.
    static constexpr Seconds kDoubleClick = 0.4;

    // `streams` lists the session's monitors (none until access is given); `cursor` is where
    // the streams last showed the cursor, if anywhere. Both are asked at each use.
    PortalPointer(Loop& loop, RemoteInput& input,
                  std::function<std::vector<ScreenStream>()> streams,
                  std::function<std::optional<Point>()> cursor);
    // Lets go of any button this pointer still holds.
    ~PortalPointer() override;

    Point location() override;
    std::vector<Rect> displays() override;
    void moveTo(Point to, bool leftHeld, int clickCount) override;
    void button(MouseButton button, bool down, Point at, int clickCount) override;
    void scroll(int pixels) override;
    Seconds doubleClickInterval() override { return kDoubleClick; }

private:
    void post(Point to);

    Loop& loop_;
    RemoteInput& input_;
    const std::function<std::vector<ScreenStream>()> streams_;
    const std::function<std::optional<Point>()> cursor_;
    std::optional<Point> posted_;  // where our last move put the pointer
    Seconds postedAt_ = 0;
    WheelNotches wheel_;          // the portal's wheel steps are whole notches
    std::array<bool, 2> held_{};  // by MouseButton
};

// Keyboard events through a remote-desktop session: named keys and modifiers by key position
// (so shortcuts work on every layout), characters by keysym.
// Threading: main thread only.
class PortalKeyboard : public Keyboard {
public:
    // Whether the desktop's keyboard layout has a key for a keysym; nullopt when that cannot be
    // told, and the keysym is then sent anyway.
    using Typable = std::function<std::optional<bool>(uint32_t keysym)>;

    // Without `typable`, every character is sent.
    explicit PortalKeyboard(RemoteInput& input, Typable typable = nullptr)
        : input_(input), typable_(std::move(typable)) {}
    // Lets go of any key this keyboard still holds.
    ~PortalKeyboard() override { releaseHeld(); }

    void key(Key key, Modifiers modifiers, bool down) override;
    void character(std::string_view utf8, bool down) override;

private:
    void releaseHeld();
    bool typable(uint32_t keysym) const;

    RemoteInput& input_;
    const Typable typable_;
    std::vector<int> held_;  // evdev codes, in the order they went down
};

}  // namespace zg
