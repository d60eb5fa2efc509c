#include "RecordingDevices.h"

namespace zg::test {
namespace {

const char* upDown(bool down) {
    return down ? "down" : "up";
}

std::ostream& operator<<(std::ostream& out, Point p) {
    return out << '(' << p.x << ", " << p.y << ')';
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Moved& e) {
    return out << "Moved to " << e.to << (e.leftHeld ? " dragging" : "") << " clicks "
               << e.clickCount;
}

std::ostream& operator<<(std::ostream& out, const Button& e) {
    return out << (e.button == MouseButton::Left ? "Left " : "Right ") << upDown(e.down) << " at "
               << e.at << " clicks " << e.clickCount;
}

std::ostream& operator<<(std::ostream& out, const Scrolled& e) {
    return out << "Scrolled " << e.pixels;
}

std::ostream& operator<<(std::ostream& out, const Pressed& e) {
    return out << "Key " << static_cast<int>(e.key) << " mods 0x" << std::hex << e.modifiers
               << std::dec << ' ' << upDown(e.down);
}

std::ostream& operator<<(std::ostream& out, const Typed& e) {
    return out << "Typed \"" << e.utf8 << "\" " << upDown(e.down);
}

void RecordingDevices::moveTo(Point to, bool leftHeld, int clickCount) {
    pointerAt = to;
    events.emplace_back(std::in_place_type<Moved>, to, leftHeld, clickCount);
}

void RecordingDevices::button(MouseButton button, bool down, Point at, int clickCount) {
    events.emplace_back(std::in_place_type<Button>, button, down, at, clickCount);
}

void RecordingDevices::key(Key key, Modifiers modifiers, bool down) {
    events.emplace_back(std::in_place_type<Pressed>, key, modifiers, down);
}

void RecordingDevices::character(std::string_view utf8, bool down) {
    events.emplace_back(std::in_place_type<Typed>, std::string(utf8), down);
}

}  // namespace zg::test
