#pragma once

#include <cstdint>
#include <vector>

#include "platform/x11/X11Display.h"

namespace zg {

// The server's core keyboard mapping as it is now: keysyms by keycode and column. Column 2g
// holds group g's plain level, column 2g + 1 its shifted level (groups 0 and 1 only).
class KeyboardMapping {
public:
    static KeyboardMapping fetch(X11Display& display);

    uint32_t at(unsigned keycode, int column) const;
    // A keycode whose `column` holds `keysym`; 0 when there is none.
    unsigned find(uint32_t keysym, int column) const;
    // A keycode with no keysym in any column; 0 when there is none.
    unsigned freeKeycode() const;
    // Notes that this process bound `keycode` to `keysym` alone since the fetch.
    void bind(unsigned keycode, uint32_t keysym);

private:
    unsigned minKeycode_ = 0;
    unsigned count_ = 0;
    int columns_ = 0;
    std::vector<uint32_t> keysyms_;
};

}  // namespace zg
