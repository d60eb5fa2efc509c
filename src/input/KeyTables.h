#pragma once

#include <optional>
#include <string_view>

#include "platform/Keyboard.h"

namespace zg {

// The phone's key vocabulary. Names are compared exactly (case-sensitive).

// "Escape", "Tab", "Backspace", "Enter", "Space" or " ", the arrows, "Delete" (forward),
// "Home", "End", "PageUp", "PageDown".
std::optional<Key> namedKey(std::string_view name);

// One lower-case letter a-z or digit 0-9.
std::optional<Key> ansiKey(std::string_view character);

// The flag of a modifier name: "ctrl" is Command, "alt" Option, "shift" Shift, "win" Control.
// Other names add no flag.
Modifiers modifierFlag(std::string_view name);

}  // namespace zg
