#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace zg {

// User-perceived characters (extended grapheme clusters) of UTF-8 text, by ICU's rules:
// a letter with its combining marks, an emoji sequence, a CR LF pair each count as one.
// An ill-formed sequence (a stray byte, or a sequence cut short) counts as one character,
// as the replacement character U+FFFD would.

// The characters of `utf8`, in order, as views into it.
std::vector<std::string_view> graphemes(std::string_view utf8);

// How many characters `utf8` holds, counting no further than `limit + 1`, so that a check
// against a limit costs no more than the limit.
size_t countGraphemes(std::string_view utf8, size_t limit);

}  // namespace zg
