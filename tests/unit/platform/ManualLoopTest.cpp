#include "ManualLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zg::test {
namespace {

TEST(ManualLoop, RepeatingTimerFirstRunsOneIntervalAfterCreationAndStopsWhenCancelled) {
    ManualLoop loop;
    std::vector<Seconds> runs;
    auto timer = loop.every(25, [&] { runs.push_back(loop.now()); });
    loop.advance(24.9);
    EXPECT_TRUE(runs.empty());
    loop.advance(50.1);
    EXPECT_EQ(runs, (std::vector<Seconds>{25, 50, 75}));
    timer->cancel();
    loop.advance(100);
    EXPECT_EQ(runs.size(), 3u);
}

TEST(ManualLoop, TimerCancelledByAnEarlierRoutineAtTheSameInstantDoesNotRun) {
    ManualLoop loop;
    int ticks = 0;
    ScheduledHandle timer;
    auto killer = loop.later(10, [&] { timer.reset(); });
    timer = loop.every(10, [&] { ++ticks; });
    loop.advance(30);
    EXPECT_EQ(ticks, 0);
}

TEST(ManualLoop, CancelledDelayedWorkNeverRunsAndLaterWorkStillDoes) {
    ManualLoop loop;
    std::vector<std::string> ran;
    auto fade = loop.later(2.5, [&] { ran.push_back("first"); });
    loop.advance(1);
    fade->cancel();
    fade = loop.later(2.5, [&] { ran.push_back("second"); });
    loop.advance(10);
    EXPECT_EQ(ran, (std::vector<std::string>{"second"}));
    fade->cancel();  // after it ran: nothing happens
}

TEST(ManualLoop, DroppedHandleCancels) {
    ManualLoop loop;
    bool ran = false;
    loop.later(1, [&] { ran = true; });
    loop.advance(2);
    EXPECT_FALSE(ran);
}

TEST(ManualLoop, TimersRunInTimeOrderAtTheirOwnTimesAndPostedWorkInPostingOrder) {
    ManualLoop loop;
    std::vector<std::string> order;
    loop.after(0.5, [&] {
        order.push_back("after 0.5 at " + std::to_string(loop.now()).substr(0, 3));
        loop.post([&] { order.push_back("posted by 0.5"); });
    });
    loop.after(0.2, [&] { order.push_back("after 0.2"); });
    loop.post([&] { order.push_back("posted 1"); });
    loop.post([&] { order.push_back("posted 2"); });
    loop.advance(1);
    EXPECT_EQ(order, (std::vector<std::string>{"posted 1", "posted 2", "after 0.2",
                                               "after 0.5 at 0.5", "posted by 0.5"}));
}

TEST(ManualLoop, BackgroundWorkWaitsForTheTest) {
    ManualLoop loop;
    int result = 0;
    loop.background([&] { loop.post([&] { result = 42; }); });
    loop.runPosted();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(loop.runBackground());
    EXPECT_FALSE(loop.runBackground());
    loop.runPosted();
    EXPECT_EQ(result, 42);
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
