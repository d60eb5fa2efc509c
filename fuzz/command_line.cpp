// The agent's command line, its arguments separated by zero bytes: any of them parse or are
// refused with a reason.
#include "FuzzInput.h"
#include "app/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args;
    for (const std::string_view arg : zg::fuzz::split(zg::fuzz::text(data, size), '\0')) {
        args.emplace_back(arg);
    }
    std::string error;
    const auto options = zg::parseAgentOptions(args, error);
    zg::fuzz::require(options || !error.empty(), "a refusal says why");
    return 0;
}
