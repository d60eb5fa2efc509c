#pragma once

#include <string>
#include <string_view>

namespace zg {

// Standard Base64 (RFC 4648 section 4): "+" and "/", "=" padding, no line breaks.
std::string base64(std::string_view bytes);

}  // namespace zg
