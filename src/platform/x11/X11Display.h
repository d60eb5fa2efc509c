#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Xlib's display type, named here so that no X header leaks into code that includes this one.
struct _XDisplay;

namespace zg {

// One connection to the X server, shared by the X11 pointer, keyboard and permission check.
// Threading: one thread at a time; the desktop's connection is the main thread's, and work
// on another thread opens its own.
class X11Display {
public:
    // Connects to `name` (nullptr: $DISPLAY); nullptr with `error` set when that fails.
    static std::unique_ptr<X11Display> open(const char* name, std::string& error);
    ~X11Display();
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

    // Makes a broken connection to `display` (one of Qt's too) fail its calls instead of ending
    // the process from inside Xlib; open() does this for its own.
    static void survive(_XDisplay* display);

    _XDisplay* get() const { return display_; }
    // Whether the server has the XTEST extension, without which no event can be posted.
    bool hasXTest() const { return hasXTest_; }

    // Sends queued requests and discards the events that arrived meanwhile (mapping changes
    // refresh Xlib's keymap cache first), so the queue never grows.
    void flush();
    // Waits until the server has handled every request sent so far; false when any request
    // failed since the previous sync().
    bool sync();

private:
    explicit X11Display(_XDisplay* display);

    _XDisplay* display_;
    bool hasXTest_ = false;
    uint64_t errorsSeen_ = 0;
};

}  // namespace zg
