#include "platform/qt/QtLoop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <numeric>
#include <vector>

#include "Spin.h"

namespace zg {
namespace {

using test::spinUntil;

bool onMainThread() {
    return QThread::currentThread() == qApp->thread();
}

TEST(QtLoop, TimersAndPostedWorkRunOnTheMainThreadInOrderNoSoonerThanAsked) {
    QtLoop loop;
    const Seconds start = loop.now();
    const auto wallStart = std::chrono::steady_clock::now();
    std::vector<Seconds> ticks;
    bool cancelledRan = false;
    ScheduledHandle timer = loop.every(0.03, [&] {
        ticks.push_back(onMainThread() ? loop.now() - start : -1);
        if (ticks.size() == 3) timer->cancel();
    });
    auto cancelled = loop.later(0.02, [&] { cancelledRan = true; });
    cancelled->cancel();
    ASSERT_TRUE(spinUntil([&] { return ticks.size() >= 3; }));
    EXPECT_GE(*std::min_element(ticks.begin(), ticks.end()), 0.03);
    const Seconds askedAt = loop.now();
    Seconds ranAfter = -1;
    loop.after(0.1, [&] { ranAfter = loop.now() - askedAt; });
    ASSERT_TRUE(spinUntil([&] { return ranAfter >= 0; }));
    EXPECT_GE(ranAfter, 0.1);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    EXPECT_NEAR(loop.now() - start, wall.count(), 0.05);  // the clock counts seconds
    EXPECT_EQ(ticks.size(), 3u);
    EXPECT_FALSE(cancelledRan);

    std::vector<int> order, expected(100);
    std::atomic<bool> backgroundOffMain = false;
    loop.background([&] {
        backgroundOffMain = !onMainThread();
        for (int i = 0; i < 100; ++i)
            loop.post([&, i] { order.push_back(onMainThread() ? i : -1); });
    });
    ASSERT_TRUE(spinUntil([&] { return order.size() == 100; }));
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
    EXPECT_TRUE(backgroundOffMain);
}

}  // namespace
}  // namespace zg
