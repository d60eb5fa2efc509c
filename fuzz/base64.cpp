// The sealed payload's Base64: any text decodes or is refused, and what decodes encodes back to
// the same text; any bytes encode and decode back to themselves.
#include "link/Base64.h"
#include "FuzzInput.h"
#include "link/Seal.h"

using zg::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = zg::fuzz::text(data, size);
    if (const auto bytes = zg::seal::fromBase64(input)) {
        require(zg::base64(*bytes) == input, "decoded text encodes back to itself");
    }
    const std::string text = zg::base64(input);
    require(text.size() == (size + 2) / 3 * 4, "four characters for every three bytes");
    require(zg::seal::fromBase64(text) == input, "encoded bytes decode back to themselves");
    return 0;
}
