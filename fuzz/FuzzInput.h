#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

// What the fuzz targets share: the input as text, split into parts, and checks that fail as
// loudly as a crash does.
namespace zg::fuzz {

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The parts of `text` between separators: one message a line, or one argument. A mutation of
// one part leaves the others whole, so a conversation keeps its join while later messages vary.
inline std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        const std::size_t end = text.find(separator);
        parts.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return parts;
}

// A property every input must keep; a broken one is a finding, like a crash. Said on stdout:
// scripts/fuzz.sh closes the targets' stderr, where the relay logs.
inline void require(bool holds, const char* what) {
    if (holds) return;
    std::printf("broken: %s\n", what);
    std::fflush(stdout);
    std::abort();
}

}  // namespace zg::fuzz
