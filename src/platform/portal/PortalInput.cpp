#include "platform/portal/PortalInput.h"

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cmath>

#include "platform/portal/EvdevKeys.h"
#include "platform/xkb/KeySyms.h"

namespace zg {
namespace {

constexpr int evdevButton(MouseButton button) {
    return button == MouseButton::Left ? BTN_LEFT : BTN_RIGHT;
}

bool contains(const Rect& rect, Point point) {
    return point.x >= rect.x && point.x < rect.right() && point.y >= rect.y &&
           point.y < rect.bottom();
}

}  // namespace

PortalPointer::PortalPointer(Loop& loop, RemoteInput& input,
                             std::function<std::vector<ScreenStream>()> streams,
                             std::function<std::optional<Point>()> cursor)
    : loop_(loop), input_(input), streams_(std::move(streams)), cursor_(std::move(cursor)) {}

PortalPointer::~PortalPointer() {
    for (MouseButton button : {MouseButton::Left, MouseButton::Right}) {
        if (held_[static_cast<size_t>(button)]) input_.button(evdevButton(button), false);
    }
}

Point PortalPointer::location() {
    // The streams report the cursor a frame after it moved: right after a move of ours the
    // position we posted is the truer one. Later, the streams also see the user's own mouse.
    if (posted_ && loop_.now() - postedAt_ < kCursorLag) return *posted_;
    if (const auto seen = cursor_()) return *seen;
    if (posted_) return *posted_;
    const auto screens = displays();
    if (screens.empty()) return {};
    return {screens.front().x + screens.front().width / 2,
            screens.front().y + screens.front().height / 2};
}

std::vector<Rect> PortalPointer::displays() {
    std::vector<Rect> rects;
    for (const ScreenStream& stream : streams_()) rects.push_back(stream.logical);
    return rects;
}

void PortalPointer::moveTo(Point to, bool, int) {
    post(to);
}

void PortalPointer::button(MouseButton button, bool down, Point at, int) {
    if (location() != at) post(at);
    input_.button(evdevButton(button), down);
    held_[static_cast<size_t>(button)] = down;
}

void PortalPointer::scroll(int pixels) {
    // Wheel notches scroll down when positive; the core's distances scroll up.
    if (const int notches = wheel_.take(pixels)) input_.axisDiscrete(false, -notches);
}

void PortalPointer::post(Point to) {
    if (!std::isfinite(to.x) || !std::isfinite(to.y)) return;
    // Absolute positions are given within one monitor: the one under the point.
    for (const ScreenStream& stream : streams_()) {
        if (!contains(stream.logical, to)) continue;
        input_.motionAbsolute(stream.nodeId, to.x - stream.logical.x, to.y - stream.logical.y);
        posted_ = to;
        postedAt_ = loop_.now();
        return;
    }
}

void PortalKeyboard::key(Key key, Modifiers modifiers, bool down) {
    // Whatever an earlier press left down goes up first, so no key is ever left held.
    releaseHeld();
    if (!down) return;
    for (ModifierFlag modifier : {kCtrl, kWin, kAlt, kShift}) {
        if (modifiers & modifier) held_.push_back(evdevCodeFor(modifier));
    }
    const int code = evdevCodeFor(key);
    if (code == 0) {
        held_.clear();
        return;
    }
    held_.push_back(code);
    for (int pressed : held_) input_.keycode(pressed, true);
}

void PortalKeyboard::character(std::string_view utf8, bool down) {
    if (!down) return;
    releaseHeld();
    std::vector<uint32_t> keysyms;
    char32_t previous = 0;
    for (char32_t c : codePoints(utf8)) {
        // A CR LF pair is one line break.
        const bool lineFeedAfterReturn = c == U'\n' && previous == U'\r';
        previous = c;
        if (lineFeedAfterReturn) continue;
        if (const uint32_t keysym = keysymForCodePoint(c)) keysyms.push_back(keysym);
    }
    // The compositor finds the key and the level (Shift) that type each keysym, and drops one
    // its layout has no key for without a word. A character goes whole or not at all: a letter
    // without its accent would be a wrong one.
    if (!std::ranges::all_of(keysyms, [this](uint32_t keysym) { return typable(keysym); })) {
        if (onUntypable) onUntypable(utf8);
        return;
    }
    for (const uint32_t keysym : keysyms) {
        input_.keysym(keysym, true);
        input_.keysym(keysym, false);
    }
}

bool PortalKeyboard::typable(uint32_t keysym) const {
    // Not knowing is no reason to refuse: the keysym goes, as it would without the check.
    return !typable_ || typable_(keysym).value_or(true);
}

void PortalKeyboard::releaseHeld() {
    // The key goes up first, then its modifiers.
    for (auto it = held_.rbegin(); it != held_.rend(); ++it) input_.keycode(*it, false);
    held_.clear();
}

}  // namespace zg
