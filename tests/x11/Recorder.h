#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace zg::test {

// One input event as a client sees it.
struct Received {
    int type = 0;          // ButtonPress, KeyRelease...
    unsigned button = 0;   // for button events
    unsigned keycode = 0;  // for key events
    KeySym keysym = 0;     // for key events, with the modifiers and locks in force
    int x = 0, y = 0;      // for button events, on the root window
};

// A focused window covering the screen, on its own connection, that records what arrives.
class Recorder {
public:
    explicit Recorder(const std::string& displayName);
    ~Recorder();

    Display* display() const { return display_; }
    // Records every event the server sent before now: once the connection under test has
    // synced, that includes everything its requests caused.
    void drain();
    // Whether the server shows any key held.
    bool anyKeyDown() const;

    std::vector<Received> events;

private:
    Display* display_;
};

}  // namespace zg::test
