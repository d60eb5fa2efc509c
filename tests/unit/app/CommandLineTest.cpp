#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace zg {
namespace {

TEST(CommandLine, ReadsValuesSeparateOrAfterAnEqualsSignAndRefusesWhatItCannotUse) {
    const auto parsed = parseAgentOptions(
        {"--listen", "127.0.0.1:9000", "--tray", "--print-qr", "--relay=wss://r.test/x"});
    ASSERT_TRUE(std::holds_alternative<AgentOptions>(parsed));
    EXPECT_TRUE(std::get<AgentOptions>(parsed).tray);
    EXPECT_TRUE(std::get<AgentOptions>(parsed).terminalCode);
    EXPECT_EQ(std::get<AgentOptions>(parsed).listen, (ListenAddress{"127.0.0.1", 9000}));
    EXPECT_EQ(std::get<AgentOptions>(parsed).relayUrl, "wss://r.test/x");
    EXPECT_EQ(std::get<AgentOptions>(parseAgentOptions({})).listen, (ListenAddress{"", 8787}));

    // Each refusal names what it could not use.
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--tary"}, "--tary"},
        {{"--listen"}, "needs a value"},
        {{"--listen", "localhost:99999"}, "--listen"},
        {{"--relay", "http://relay.test"}, "ws://"},
        {{"--help=yes"}, "takes no value"},
        {{"--tray=1"}, "takes no value"},
    };
    for (const auto& [args, reason] : refused) {
        const auto refusal = parseAgentOptions(args);
        ASSERT_TRUE(std::holds_alternative<std::string>(refusal)) << args[0];
        EXPECT_NE(std::get<std::string>(refusal).find(reason), std::string::npos) << args[0];
    }
}

}  // namespace
}  // namespace zg
