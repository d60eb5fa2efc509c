#include "link/Base64.h"

#include <cstdint>

namespace zg {

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    // Sized once and written through a pointer: appending character by character cost a
    // capacity check per character, on the main thread, for every frame. Not constant-time,
    // which only secrets need: what it encodes is sealed or public.
    std::string text((bytes.size() + 2) / 3 * 4, '=');
    char* out = text.data();
    const auto* in = reinterpret_cast<const uint8_t*>(bytes.data());
    const size_t whole = bytes.size() / 3 * 3;
    for (size_t i = 0; i < whole; i += 3, out += 4) {
        const uint32_t group = uint32_t(in[i]) << 16 | uint32_t(in[i + 1]) << 8 | in[i + 2];
        out[0] = kAlphabet[group >> 18];
        out[1] = kAlphabet[group >> 12 & 63];
        out[2] = kAlphabet[group >> 6 & 63];
        out[3] = kAlphabet[group & 63];
    }
    const size_t rest = bytes.size() - whole;
    if (rest == 0) return text;
    uint32_t group = uint32_t(in[whole]) << 16;
    if (rest == 2) group |= uint32_t(in[whole + 1]) << 8;
    out[0] = kAlphabet[group >> 18];
    out[1] = kAlphabet[group >> 12 & 63];
    if (rest == 2) out[2] = kAlphabet[group >> 6 & 63];
    return text;
}

}  // namespace zg
