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
    std::vector<Seconds> ticks;  // when each tick ran; -1 off the main thread
    ScheduledHandle timer = loop.every(0.03, [&] {
        ticks.push_back(onMainThread() ? loop.now() - start : -1);
        if (ticks.size() == 3) timer->cancel();
    });
    loop.later(0.02, [&] { ticks.push_back(-2); })->cancel();
    Seconds ranAt = -1;
    loop.after(0.15, [&] { ranAt = loop.now() - start; });
    ASSERT_TRUE(spinUntil([&] { return ranAt >= 0 && ticks.size() >= 3; }));
    EXPECT_GE(ranAt, 0.15);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_GE(ticks[0], 0.03);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    EXPECT_NEAR(loop.now() - start, wall.count(), 0.05);  // the clock counts seconds

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
