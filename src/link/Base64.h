#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zg {

// Standard Base64 (RFC 4648 section 4): "+" and "/", "=" padding, no line breaks.
std::string base64(std::string_view bytes);

// Decodes `text`, canonical Base64 of libsodium's `variant`, into at most `capacity` bytes at
// `out`, in constant time as secrets need; false when `text` is anything else. `size` is the
// count of bytes decoded.
bool decodeBase64(std::string_view text, int variant, unsigned char* out, std::size_t capacity,
                  std::size_t& size);

}  // namespace zg
