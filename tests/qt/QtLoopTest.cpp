#include "platform/qt/QtLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <vector>

#include "Spin.h"

namespace zg {
namespace {

using test::spinUntil;

TEST(QtLoop, TimersRunOnTheMainThreadNoSoonerThanAskedAndNeverOnceCancelled) {
    QtLoop loop;
    const Seconds start = loop.now();
    std::vector<Seconds> ticks;
    bool mainThread = true, cancelledRan = false;
    ScheduledHandle timer = loop.every(0.03, [&] {
        ticks.push_back(loop.now() - start);
        mainThread = mainThread && QThread::currentThread() == qApp->thread();
        if (ticks.size() == 3) timer->cancel();
    });
    auto cancelled = loop.later(0.02, [&] { cancelledRan = true; });
    cancelled->cancel();
    ASSERT_TRUE(spinUntil([&] { return ticks.size() >= 3; }));
    EXPECT_GE(ticks[0], 0.03);
    const Seconds askedAt = loop.now();
    Seconds lastRanAt = -1;
    loop.after(0.1, [&] { lastRanAt = loop.now() - askedAt; });
    ASSERT_TRUE(spinUntil([&] { return lastRanAt >= 0; }));
    EXPECT_GE(lastRanAt, 0.1);
    EXPECT_EQ(ticks.size(), 3u);
    EXPECT_TRUE(mainThread);
    EXPECT_FALSE(cancelledRan);
}

TEST(QtLoop, WorkPostedFromAnyThreadRunsOnTheMainThreadInOrder) {
    QtLoop loop;
    std::vector<int> order, expected;
    std::atomic<bool> offMain{false};
    loop.background([&] {
        offMain = QThread::currentThread() != qApp->thread();
        for (int i = 0; i < 100; ++i) loop.post([&order, i] { order.push_back(i); });
    });
    for (int i = 0; i < 100; ++i) expected.push_back(i);
    ASSERT_TRUE(spinUntil([&] { return order.size() == 100; }));
    EXPECT_TRUE(offMain);
    EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace zg
