#include "ManualLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zg::test {
namespace {

TEST(ManualLoop, RunsTimersAtTheirOwnTimesAndPostedWorkInOrderUntilCancelled) {
    ManualLoop loop;
    std::vector<std::string> ran;
    const auto log = [&](std::string what) {
        return [&ran, &loop, what] { ran.push_back(what + std::to_string(int(loop.now()))); };
    };
    ScheduledHandle timer;
    // Due at the same instant as the third tick and scheduled before it, so it wins.
    auto stop = loop.later(75, [&] { timer.reset(); });
    timer = loop.every(25, log("tick "));
    auto cancelled = loop.later(10, log("cancelled "));
    cancelled->cancel();
    loop.later(10, log("dropped "));  // the handle goes at once, and the work with it
    loop.after(30, [&] {
        log("after ")();
        loop.post(log("posted by after "));
    });
    loop.background([&] { loop.post(log("posted by background ")); });
    loop.post(log("posted "));
    loop.post(log("posted again "));
    loop.advance(24.9);
    EXPECT_EQ(ran, (std::vector<std::string>{"posted 0", "posted again 0"}));
    EXPECT_TRUE(loop.runBackground());  // background work waits for the test
    EXPECT_FALSE(loop.runBackground());
    loop.advance(200);
    EXPECT_EQ(ran,
              (std::vector<std::string>{"posted 0", "posted again 0", "posted by background 24",
                                        "tick 25", "after 30", "posted by after 30", "tick 50"}));
    cancelled->cancel();  // long after: harmless
}

TEST(Lifetime, GuardedWorkDoesNothingOnceTheOwnerIsGone) {
    ManualLoop loop;
    int calls = 0;
    {
        Lifetime owner;
        loop.after(1, owner.guard([&] { ++calls; }));
        loop.after(0.5, owner.guard([&] { ++calls; }));
        loop.advance(0.7);
    }
    loop.advance(1);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace zg::test
