#include "platform/x11/KeyboardMapping.h"

#include <X11/Xlib.h>

#include <algorithm>

namespace zg {

KeyboardMapping KeyboardMapping::fetch(X11Display& display) {
    KeyboardMapping mapping;
    int minKeycode = 0, maxKeycode = 0, columns = 0;
    XDisplayKeycodes(display.get(), &minKeycode, &maxKeycode);
    const int count = maxKeycode - minKeycode + 1;
    KeySym* keysyms = XGetKeyboardMapping(display.get(), minKeycode, count, &columns);
    if (!keysyms) return mapping;
    mapping.minKeycode_ = minKeycode;
    mapping.count_ = count;
    mapping.columns_ = columns;
    mapping.keysyms_.assign(keysyms, keysyms + size_t(count) * columns);
    XFree(keysyms);
    return mapping;
}

uint32_t KeyboardMapping::at(unsigned keycode, int column) const {
    if (keycode < minKeycode_ || keycode - minKeycode_ >= count_ || column >= columns_) {
        return NoSymbol;
    }
    return keysyms_[(keycode - minKeycode_) * columns_ + column];
}

unsigned KeyboardMapping::find(uint32_t keysym, int column) const {
    for (unsigned i = 0; i < count_; ++i) {
        if (at(minKeycode_ + i, column) == keysym) return minKeycode_ + i;
    }
    return 0;
}

unsigned KeyboardMapping::freeKeycode() const {
    for (unsigned i = 0; i < count_; ++i) {
        const auto row = keysyms_.begin() + i * columns_;
        if (std::all_of(row, row + columns_, [](uint32_t k) { return k == NoSymbol; })) {
            return minKeycode_ + i;
        }
    }
    return 0;
}

void KeyboardMapping::bind(unsigned keycode, uint32_t keysym) {
    if (keycode < minKeycode_ || keycode - minKeycode_ >= count_ || columns_ == 0) return;
    const auto row = keysyms_.begin() + (keycode - minKeycode_) * columns_;
    std::fill(row, row + columns_, NoSymbol);
    row[0] = keysym;
}

}  // namespace zg
