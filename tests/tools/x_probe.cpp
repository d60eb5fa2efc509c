// The X side of the browser tests, on $DISPLAY: a focused full-screen window that records the
// input arriving on the desktop. Prints {"ready":true} once up, then answers each input line:
//   pointer -> {"x","y","mask"}: where the pointer is, and the buttons held
//   warp X Y -> {"x","y"}: moves the pointer there
//   events -> {"events":[{"x","y", "button" or "keysym"}...]}: presses since the last "events"
#include <iostream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "Recorder.h"

namespace {

using nlohmann::json;

json answer(zg::test::Recorder& recorder, const std::string& line) {
    Display* dpy = recorder.display();
    std::istringstream words(line);
    std::string command;
    int x = 0, y = 0;
    words >> command;
    if (command == "pointer") {
        Window root, child;
        unsigned mask = 0;
        // On the root window its own coordinates are the root's: one pair takes both.
        XQueryPointer(dpy, DefaultRootWindow(dpy), &root, &child, &x, &y, &x, &y, &mask);
        return {{"x", x}, {"y", y}, {"mask", mask}};
    }
    if (command == "warp" && words >> x >> y) {
        XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
        XSync(dpy, False);
        return {{"x", x}, {"y", y}};
    }
    if (command != "events") return {{"error", "unknown command: " + line}};
    recorder.drain();
    json events = json::array();
    for (const zg::test::Received& e : std::exchange(recorder.events, {})) {
        const char* name = XKeysymToString(e.keysym);
        if (e.type == ButtonPress) events.push_back({{"x", e.x}, {"y", e.y}, {"button", e.button}});
        if (e.type == KeyPress)
            events.push_back({{"keysym", name ? name : std::to_string(e.keysym)}});
    }
    return {{"events", std::move(events)}};
}

}  // namespace

int main() {
    zg::test::Recorder recorder("");  // on $DISPLAY
    if (!recorder.display()) return std::cerr << "x_probe: cannot open $DISPLAY\n", 1;
    std::cout << json{{"ready", true}} << std::endl;
    for (std::string line; std::getline(std::cin, line);)
        std::cout << answer(recorder, line) << std::endl;
}
