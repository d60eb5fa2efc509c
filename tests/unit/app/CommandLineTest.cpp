#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace zg {
namespace {

TEST(CommandLine, ReadsValuesSeparateOrAfterAnEqualsSignAndRefusesWhatItCannotUse) {
    const auto parsed = parseAgentOptions(
        {"--listen", "127.0.0.1:9000", "--tray", "--print-qr", "--relay=wss://r.test/x"});
    const auto& options = std::get<AgentOptions>(parsed);
    EXPECT_TRUE(options.tray && options.terminalCode);
    EXPECT_EQ(options.listen, (ListenAddress{"127.0.0.1", 9000}));
    EXPECT_EQ(options.relayUrl, "wss://r.test/x");
    EXPECT_EQ(std::get<AgentOptions>(parseAgentOptions({})).listen, (ListenAddress{"", 8787}));

    // Each refusal names what it could not use.
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--tary"}, "--tary"},
        {{"--listen", "localhost:99999"}, "--listen"},
        {{"--relay", "http://relay.test"}, "ws://"},
        {{"--tray=1"}, "takes no value"},
    };
    for (const auto& [args, reason] : refused) {
        EXPECT_NE(std::get<std::string>(parseAgentOptions(args)).find(reason), std::string::npos)
            << args[0];
    }
}

}  // namespace
}  // namespace zg
