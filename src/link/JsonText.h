#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace zg {

// Whether `s` can stand between JSON quotes as it is: printable ASCII with no quote or
// backslash. Eight bytes at a time: a frame's Base64 picture is 100 kB or more, and checking it
// byte by byte cost as much as sealing it.
inline bool plainJsonText(std::string_view s) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    // Nonzero when some byte of `v` is zero, or (`below`) is under `n`, which must be <= 0x80.
    const auto hasZero = [](std::uint64_t v) { return (v - ones) & ~v & highs; };
    const auto below = [](std::uint64_t v, std::uint64_t n) { return (v - ones * n) & ~v & highs; };
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if ((word & highs) | below(word, 0x20) | hasZero(word ^ (ones * 0x7f)) |
            hasZero(word ^ (ones * '"')) | hasZero(word ^ (ones * '\\'))) {
            return false;
        }
    }
    for (; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') return false;
    }
    return true;
}

}  // namespace zg
