#pragma once

#include "platform/Keyboard.h"

namespace zg {

// The Linux input (evdev) code of `key` on a PC keyboard. Codes name key positions, not
// symbols, so shortcuts land on the keys a US layout labels with these names; 0 for a value
// that names no Key.
int evdevCodeFor(Key key);

// The evdev code of the left-hand key of one modifier.
int evdevCodeFor(ModifierFlag modifier);

}  // namespace zg
