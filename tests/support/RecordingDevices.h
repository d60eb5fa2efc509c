#pragma once

#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Keyboard.h"
#include "platform/Pointer.h"

namespace zg::test {

// Each posted event as one line, so that lists of them compare and print as they read:
// "drag [3.0,4.0] #1", "L up [3.0,4.0] #2", "scroll -2", "key 36 down mods 2", "type é up".
using Events = std::vector<std::string>;
struct Posted {
    static std::string at(Point p) { return nlohmann::json{p.x, p.y}.dump(); }  // exact
    static std::string move(Point to, bool held = false, int n = 0) {
        return (held ? "drag " : "move ") + at(to) + " #" + std::to_string(n);
    }
    static std::string button(MouseButton b, bool down, Point p, int n) {
        return (b == MouseButton::Left ? "L " : "R ") + std::string(down ? "down " : "up ") +
               at(p) + " #" + std::to_string(n);
    }
    static std::string scroll(int pixels) { return "scroll " + std::to_string(pixels); }
    static std::string key(Key k, Modifiers m, bool down) {
        return "key " + std::to_string(int(k)) + (down ? " down" : " up") + " mods " +
               std::to_string(m);
    }
    static std::string text(std::string_view s, bool down) {
        return "type " + std::string(s) + (down ? " down" : " up");
    }
};

// A pointer and keyboard recording every posted event in one list; the pointer follows its moves.
struct RecordingDevices : Pointer, Keyboard {
    Point pointerAt;
    std::vector<Rect> screens{{0, 0, 1920, 1080}};
    Events events;

    Events take() { return std::exchange(events, {}); }
    void log(std::string event) { events.push_back(std::move(event)); }

    Point location() override { return pointerAt; }
    std::vector<Rect> displays() override { return screens; }
    Seconds doubleClickInterval() override { return 0.5; }
    void moveTo(Point p, bool held, int n) override { log(Posted::move(pointerAt = p, held, n)); }
    void button(MouseButton b, bool d, Point p, int n) override { log(Posted::button(b, d, p, n)); }
    void scroll(int pixels) override { log(Posted::scroll(pixels)); }
    void key(Key k, Modifiers m, bool down) override { log(Posted::key(k, m, down)); }
    void character(std::string_view s, bool down) override {
        if (!untypable.contains(s)) return log(Posted::text(s, down));
        if (down && onUntypable) onUntypable(s);
    }

    // Characters this keyboard has no key for: told to onUntypable, not typed.
    std::set<std::string, std::less<>> untypable;
};

}  // namespace zg::test
