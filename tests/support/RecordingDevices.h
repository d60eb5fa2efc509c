#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Keyboard.h"
#include "platform/Pointer.h"

namespace zg::test {

// One posted event each, as the platform seams received it; printed as "move 3,4 #1" and so on.
struct Moved {
    Point to;
    bool leftHeld = false;
    int clickCount = 0;
    bool operator==(const Moved&) const = default;
    friend void PrintTo(const Moved& e, std::ostream* o) {
        *o << (e.leftHeld ? "drag " : "move ") << e.to.x << ',' << e.to.y << " #" << e.clickCount;
    }
};
struct Button {
    MouseButton button = MouseButton::Left;
    bool down = false;
    Point at;
    int clickCount = 0;
    bool operator==(const Button&) const = default;
    friend void PrintTo(const Button& e, std::ostream* o) {
        *o << "button " << int(e.button) << e.down << ' ' << e.at.x << ',' << e.at.y << " #"
           << e.clickCount;
    }
};
struct Scrolled {
    int pixels = 0;
    bool operator==(const Scrolled&) const = default;
    friend void PrintTo(const Scrolled& e, std::ostream* o) { *o << "scroll " << e.pixels; }
};
struct Pressed {
    Key key = Key::A;
    Modifiers modifiers = 0;
    bool down = false;
    bool operator==(const Pressed&) const = default;
    friend void PrintTo(const Pressed& e, std::ostream* o) {
        *o << "key " << int(e.key) << e.down << " mods " << e.modifiers;
    }
};
struct Typed {
    std::string utf8;
    bool down = false;
    bool operator==(const Typed&) const = default;
    friend void PrintTo(const Typed& e, std::ostream* o) { *o << e.utf8 << e.down; }
};
using DeviceEvent = std::variant<Moved, Button, Scrolled, Pressed, Typed>;
using Events = std::vector<DeviceEvent>;

// A pointer and keyboard recording every posted event in one list; the pointer follows its moves.
class RecordingDevices : public Pointer, public Keyboard {
public:
    Point pointerAt;
    std::vector<Rect> screens{{0, 0, 1920, 1080}};
    Events events;

    Events take() { return std::exchange(events, {}); }

    Point location() override { return pointerAt; }
    std::vector<Rect> displays() override { return screens; }
    void moveTo(Point to, bool leftHeld, int n) override {
        events.emplace_back(Moved{pointerAt = to, leftHeld, n});
    }
    void button(MouseButton b, bool down, Point at, int n) override {
        events.emplace_back(Button{b, down, at, n});
    }
    void scroll(int pixels) override { events.emplace_back(Scrolled{pixels}); }
    Seconds doubleClickInterval() override { return 0.5; }
    void key(Key k, Modifiers m, bool down) override { events.emplace_back(Pressed{k, m, down}); }
    void character(std::string_view utf8, bool down) override {
        events.emplace_back(Typed{std::string(utf8), down});
    }
};

}  // namespace zg::test
