// The X side of the browser tests, on $DISPLAY: a focused full-screen window that records the
// input arriving on the desktop. Answers one JSON line per command line on standard input:
//   pointer    -> {"x":..,"y":..,"mask":..}   where the pointer is, and the buttons held
//   warp X Y   -> {"x":X,"y":Y}                moves the pointer there
//   events     -> {"events":[...]}             button and key events since the last "events"
//   quadrants  -> {"quadrants":true}           covers the screen with the four-colour pattern
// Prints {"ready":true} once the window is up; ends at the end of its input.
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "Picture.h"
#include "Recorder.h"

namespace {

using nlohmann::json;
using zg::test::Received;
using zg::test::Recorder;

const char* typeName(int type) {
    switch (type) {
        case ButtonPress:
            return "ButtonPress";
        case ButtonRelease:
            return "ButtonRelease";
        case KeyPress:
            return "KeyPress";
        case KeyRelease:
            return "KeyRelease";
        default:
            return nullptr;
    }
}

json pointer(Display* dpy) {
    Window root, child;
    int x = 0, y = 0, wx, wy;
    unsigned mask = 0;
    XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &x, &y, &wx, &wy, &mask);
    return {{"x", x}, {"y", y}, {"mask", mask}};
}

json takeEvents(Recorder& recorder) {
    recorder.drain();
    json events = json::array();
    for (const Received& e : recorder.events) {
        const char* type = typeName(e.type);
        if (!type) continue;
        json event = {{"type", type}, {"state", e.state}, {"x", e.x}, {"y", e.y}};
        if (e.type == ButtonPress || e.type == ButtonRelease) {
            event["button"] = e.button;
        } else {
            const char* name = XKeysymToString(e.keysym);
            event["keysym"] = name ? name : std::to_string(e.keysym);
        }
        events.push_back(std::move(event));
    }
    recorder.events.clear();
    return {{"events", std::move(events)}};
}

json answer(Recorder& recorder, const std::string& line) {
    Display* dpy = recorder.display();
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "pointer") return pointer(dpy);
    if (command == "events") return takeEvents(recorder);
    if (command == "warp") {
        int x = 0, y = 0;
        if (!(words >> x >> y)) return {{"error", "warp needs X and Y"}};
        XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
        XSync(dpy, False);
        return {{"x", x}, {"y", y}};
    }
    if (command == "quadrants") {
        zg::test::showQuadrants(dpy);
        return {{"quadrants", true}};
    }
    return {{"error", "unknown command: " + line}};
}

void say(const json& value) {
    std::cout << value.dump() << std::endl;
}

}  // namespace

int main() {
    const char* display = std::getenv("DISPLAY");
    Recorder recorder(display ? display : "");
    if (!recorder.display()) {
        std::cerr << "x_probe: cannot open display " << (display ? display : "(unset)") << "\n";
        return 1;
    }
    say({{"ready", true}});
    for (std::string line; std::getline(std::cin, line);) say(answer(recorder, line));
    return 0;
}
