#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/Keyboard.h"

namespace zg {

// The X keysym of `key`; 0 for a value that names no Key.
uint32_t keysymFor(Key key);

// The keysym that types `codePoint`; 0 for code points that no key types (control
// characters other than tab, return, backspace, escape and delete).
uint32_t keysymForCodePoint(char32_t codePoint);

// The code points of UTF-8 text. Bytes that do not start a valid sequence (overlong forms,
// surrogates and values past U+10FFFF included) are skipped one by one.
std::vector<char32_t> codePoints(std::string_view utf8);

}  // namespace zg
