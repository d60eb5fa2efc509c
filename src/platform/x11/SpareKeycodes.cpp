#include "platform/x11/SpareKeycodes.h"

#include <X11/Xlib.h>

#include <algorithm>

namespace zg {
namespace {

bool setKeysym(X11Display& display, unsigned keycode, KeySym keysym) {
    XChangeKeyboardMapping(display.get(), static_cast<int>(keycode), 1, &keysym, 1);
    return display.sync();
}

}  // namespace

SpareKeycodes::SpareKeycodes(X11Display& display, Loop& loop) : display_(display), loop_(loop) {}

SpareKeycodes::~SpareKeycodes() {
    restoreAll();
}

unsigned SpareKeycodes::keycodeFor(uint32_t keysym, KeyboardMapping& mapping) {
    // A binding the mapping no longer shows was undone by someone else (a layout change):
    // the keycode is not ours to reuse or restore any more.
    std::erase_if(bindings_,
                  [&](const Binding& b) { return mapping.at(b.keycode, 0) != b.keysym; });
    for (Binding& binding : bindings_) {
        if (binding.keysym == keysym) {
            touch(binding);
            return binding.keycode;
        }
    }
    const unsigned keycode = pickKeycode(mapping);
    if (keycode == 0 || !setKeysym(display_, keycode, keysym)) return 0;
    mapping.bind(keycode, keysym);
    std::erase_if(bindings_, [&](const Binding& b) { return b.keycode == keycode; });
    bindings_.push_back({keycode, keysym, 0});
    touch(bindings_.back());
    return keycode;
}

void SpareKeycodes::used(unsigned keycode) {
    for (Binding& binding : bindings_) {
        if (binding.keycode == keycode) touch(binding);
    }
}

void SpareKeycodes::restoreAll() {
    restore_.reset();
    if (bindings_.empty()) return;
    const KeyboardMapping mapping = KeyboardMapping::fetch(display_);
    for (const Binding& binding : bindings_) {
        if (mapping.at(binding.keycode, 0) == binding.keysym) {
            setKeysym(display_, binding.keycode, NoSymbol);
        }
    }
    bindings_.clear();
}

unsigned SpareKeycodes::pickKeycode(const KeyboardMapping& mapping) {
    if (bindings_.size() < kMaxBindings) {
        if (const unsigned keycode = mapping.freeKeycode()) return keycode;
    }
    if (bindings_.empty()) return 0;
    return std::min_element(bindings_.begin(), bindings_.end(),
                            [](const auto& a, const auto& b) { return a.lastUse < b.lastUse; })
        ->keycode;
}

void SpareKeycodes::touch(Binding& binding) {
    binding.lastUse = ++uses_;
    restore_ = loop_.later(kHold, [this] { restoreAll(); });
}

}  // namespace zg
