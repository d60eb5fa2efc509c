#include "link/Seal.h"

#include <gtest/gtest.h>

#include "link/Base64.h"

#include <fstream>

namespace zg::test {
namespace {

using seal::Direction;

// The vectors the page's code is held to as well (tests/e2e/seal.test.mjs).
const Payload kVectors = Payload::parse(std::ifstream(ZG_SEAL_VECTORS));
const std::string kSecret = kVectors["secret"];

TEST(Base64, EncodesTheStandardVectorsAndBothHighSymbols) {
    EXPECT_EQ(base64("") + base64("f") + base64("fo") + base64("foo") + base64("\xfb\xef\xff") +
                  base64(std::string("\0\x80", 2)),
              "Zg==Zm8=Zm9v++//AIA=");
}

TEST(Seal, KeysAndBoxesMatchTheVectorsThePageIsHeldTo) {
    const std::string plaintext = kVectors["plaintext"];
    const std::string nonce = *seal::fromBase64(kVectors["nonce"].get<std::string>());
    for (auto [direction, name] :
         {std::pair{Direction::PhoneToAgent, "toAgent"}, {Direction::AgentToPhone, "toPhone"}}) {
        const auto key = seal::directionKey(kSecret, direction);
        ASSERT_TRUE(key);
        EXPECT_EQ(seal::toBase64({reinterpret_cast<const char*>(key->data()), key->size()}),
                  kVectors[name]["key"]);
        std::string message = nonce + std::string(seal::kTagBytes, '\0') + plaintext;
        seal::box(*key, message);
        EXPECT_EQ(seal::toBase64(message), kVectors[name]["sealed"]);
    }
    for (const std::string& secret : {kSecret.substr(1), "\u00e9" + kSecret.substr(2)})
        EXPECT_FALSE(seal::directionKey(secret, Direction::PhoneToAgent)) << secret;
}

TEST(Sealer, OpensWhatTheOtherSideSealedForThisRunOnceAndRefusesAnythingElseSayingWhy) {
    Sealer agent(kSecret, "run-1"), phone(kSecret, "phone-1", Sealer::Side::Phone);
    std::string why;
    const auto opened = agent.open(phone.seal("cmd", {{"do", "click"}}, "bytes", "run-1"), why);
    ASSERT_TRUE(opened) << why;
    EXPECT_EQ(opened->event + " " + opened->payload.dump() + " " + opened->attachment,
              R"(cmd {"do":"click"} bytes)");

    const Payload once = phone.seal("cmd", {}, {}, "run-1");
    std::string flipped = phone.seal("cmd", {}, {}, "run-1")["s"];
    flipped[40] ^= 1;
    Sealer stranger(kSecret.substr(0, 42) + "w", "phone-2", Sealer::Side::Phone);
    const std::pair<Payload, const char*> refused[] = {
        {{{"s", flipped}}, "did not open"},
        {{{"s", once["s"].get<std::string>().substr(0, 60)}}, "did not open"},  // cut short
        {{{"s", 7}}, "did not open"},
        {agent.seal("state", {}), "did not open"},                // its own, reflected
        {stranger.seal("cmd", {}, {}, "run-1"), "did not open"},  // another secret
        {phone.seal("cmd", {}, {}, "an earlier run"), "another run"},
        {phone.seal("cmd", {}), "another run"},  // only a hello may name none
    };
    EXPECT_TRUE(agent.open(once, why)) << why;
    EXPECT_FALSE(agent.open(once, why));
    EXPECT_NE(why.find("replayed"), std::string::npos) << why;
    for (const auto& [message, reason] : refused)
        EXPECT_TRUE(!agent.open(message, why) && why.find(reason) != std::string::npos)
            << message.dump() << ": " << why;
    EXPECT_TRUE(agent.open(phone.seal("hello", {}), why)) << why;
}

}  // namespace
}  // namespace zg::test
