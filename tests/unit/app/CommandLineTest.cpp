#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace zg {
namespace {

AgentOptions parse(const std::vector<std::string>& args) {
    auto parsed = parseAgentOptions(args);
    EXPECT_TRUE(std::holds_alternative<AgentOptions>(parsed)) << std::get<std::string>(parsed);
    return std::holds_alternative<AgentOptions>(parsed) ? std::get<AgentOptions>(parsed)
                                                        : AgentOptions{};
}

std::string refusal(const std::vector<std::string>& args) {
    auto parsed = parseAgentOptions(args);
    return std::holds_alternative<std::string>(parsed) ? std::get<std::string>(parsed) : "";
}

TEST(CommandLine, DefaultsToTheEmbeddedRelayOnEveryInterface) {
    const AgentOptions options = parse({});
    EXPECT_FALSE(options.help);
    EXPECT_FALSE(options.relayUrl);
    EXPECT_EQ(options.listen, (ListenAddress{"", 8787}));
}

TEST(CommandLine, ReadsValuesSeparateOrAfterAnEqualsSign) {
    const AgentOptions options =
        parse({"--listen", "127.0.0.1:9000", "--relay=wss://relay.test/x"});
    EXPECT_EQ(options.listen, (ListenAddress{"127.0.0.1", 9000}));
    EXPECT_EQ(options.relayUrl, "wss://relay.test/x");
    EXPECT_TRUE(parse({"-h"}).help);
}

TEST(CommandLine, RefusesWhatItCannotUseWithAMessageNamingIt) {
    EXPECT_NE(refusal({"--tary"}).find("--tary"), std::string::npos);
    EXPECT_NE(refusal({"--listen"}).find("needs a value"), std::string::npos);
    EXPECT_NE(refusal({"--listen", "localhost:99999"}).find("--listen"), std::string::npos);
    EXPECT_NE(refusal({"--relay", "http://relay.test"}).find("ws://"), std::string::npos);
    EXPECT_NE(refusal({"--relay", "wss://"}).find("ws://"), std::string::npos);
    EXPECT_NE(refusal({"--help=yes"}).find("takes no value"), std::string::npos);
}

}  // namespace
}  // namespace zg
