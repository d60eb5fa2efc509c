#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace zg {
namespace {

TEST(CommandLine, ReadsValuesSeparateOrAfterAnEqualsSignAndRefusesWhatItCannotUse) {
    std::string error;
    const auto options = parseAgentOptions(
        {"--listen", "127.0.0.1:9000", "--tray", "--print-qr", "--relay=wss://r.test/x"}, error);
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->tray && options->terminalCode);
    EXPECT_EQ(options->listen, (ListenAddress{"127.0.0.1", 9000}));
    EXPECT_EQ(options->relayUrl, "wss://r.test/x");
    EXPECT_EQ(parseAgentOptions({}, error)->listen, (ListenAddress{"", 8787}));

    // Each refusal names what it could not use.
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--tary"}, "--tary"},
        {{"--listen", "localhost:99999"}, "--listen"},
        {{"--relay", "http://relay.test"}, "ws://"},
        {{"--tray=1"}, "takes no value"},
    };
    for (const auto& [args, reason] : refused) {
        EXPECT_FALSE(parseAgentOptions(args, error)) << args[0];
        EXPECT_NE(error.find(reason), std::string::npos) << args[0];
    }
}

}  // namespace
}  // namespace zg
