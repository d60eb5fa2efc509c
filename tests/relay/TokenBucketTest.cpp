#include <gtest/gtest.h>

#include "relay/TokenBucket.h"

namespace zg::relay {
namespace {

using namespace std::chrono_literals;

int takeAll(TokenBucket& bucket, TokenBucket::Clock::time_point now) {
    int taken = 0;
    while (bucket.take(now)) ++taken;
    return taken;
}

TEST(TokenBucketTest, GivesTheBurstThenRefillsAtTheRateUpToTheBurst) {
    const TokenBucket::Clock::time_point start{};
    TokenBucket bucket(200, 400, start);
    EXPECT_EQ(takeAll(bucket, start), 400);
    EXPECT_EQ(takeAll(bucket, start + 100ms), 20);
    EXPECT_EQ(takeAll(bucket, start + 10s), 400);
}

}  // namespace
}  // namespace zg::relay
