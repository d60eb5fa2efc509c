#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zg {

// A QR code's modules, without the quiet zone around them.
struct QrCode {
    int width = 0;           // modules per side
    std::vector<bool> dark;  // row by row, width * width of them

    bool at(int x, int y) const { return dark[size_t(y) * size_t(width) + size_t(x)]; }

    // The bytes of `text` as one code with error-correction level M, the smallest version that
    // holds them; nothing when they are too long for any.
    static std::optional<QrCode> encode(std::string_view text);
};

// The code drawn with Unicode half blocks, two module rows per line, with its quiet zone.
// `ansiColours` pins black on white, so that it scans on a dark terminal too.
std::string terminalPicture(const QrCode& code, bool ansiColours);

}  // namespace zg
