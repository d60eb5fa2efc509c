// The --listen value of both programs: any text parses or is refused with a reason, and what
// parses is written back as text that parses to the same address.
#include "FuzzInput.h"
#include "relay/ListenAddress.h"

using zg::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto address = zg::parseListenAddress(zg::fuzz::text(data, size), error);
    if (!address) {
        require(!error.empty(), "a refusal says why");
        return 0;
    }
    const auto again = zg::parseListenAddress(zg::formatListenAddress(*address), error);
    require(again == address, "the written address parses to itself");
    return 0;
}
