#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace zg::test {

// One input event as a client sees it; the keysym with the modifiers and locks in force.
struct Received {
    int type = 0;  // ButtonPress, KeyRelease...
    unsigned button = 0, keycode = 0;
    KeySym keysym = 0;
    int x = 0, y = 0;  // on the root window
};

// A focused window covering the screen, on its own connection, that records what arrives.
class Recorder {
public:
    explicit Recorder(const std::string& displayName);
    ~Recorder();

    Display* display() const { return display_; }
    // Records what the server sent before now: all that a synced connection's requests caused.
    void drain();

    std::vector<Received> events;

private:
    Display* display_;
};

}  // namespace zg::test
