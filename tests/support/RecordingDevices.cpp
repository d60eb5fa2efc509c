#include "RecordingDevices.h"

namespace zg::test {

void PrintTo(const Moved& e, std::ostream* out) {
    *out << (e.leftHeld ? "Dragged to " : "Moved to ") << e.to.x << ',' << e.to.y << " #"
         << e.clickCount;
}

void PrintTo(const Button& e, std::ostream* out) {
    *out << (e.button == MouseButton::Left ? "Left" : "Right") << (e.down ? " down at " : " up at ")
         << e.at.x << ',' << e.at.y << " #" << e.clickCount;
}

void PrintTo(const Scrolled& e, std::ostream* out) {
    *out << "Scrolled " << e.pixels;
}

void PrintTo(const Pressed& e, std::ostream* out) {
    *out << "Key " << int(e.key) << " mods " << e.modifiers << (e.down ? " down" : " up");
}

void PrintTo(const Typed& e, std::ostream* out) {
    *out << "Typed \"" << e.utf8 << (e.down ? "\" down" : "\" up");
}

}  // namespace zg::test
