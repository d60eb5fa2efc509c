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

TEST(QtLoop, RepeatingTimerRunsOnTheMainThreadNoSoonerThanItsIntervalAndStopsWhenCancelled) {
    QtLoop loop;
    const Seconds start = loop.now();
    std::vector<Seconds> runs;
    bool mainThread = true;
    ScheduledHandle timer = loop.every(0.03, [&] {
        runs.push_back(loop.now() - start);
        mainThread = mainThread && QThread::currentThread() == qApp->thread();
        if (runs.size() == 3) timer->cancel();
    });
    ASSERT_TRUE(spinUntil([&] { return runs.size() >= 3; }));
    EXPECT_GE(runs[0], 0.03);
    EXPECT_TRUE(mainThread);
    bool marker = false;
    loop.after(0.1, [&] { marker = true; });
    ASSERT_TRUE(spinUntil([&] { return marker; }));
    EXPECT_EQ(runs.size(), 3u);
}

TEST(QtLoop, CancelledDelayedWorkNeverRunsWhileANewOneDoes) {
    QtLoop loop;
    bool first = false, second = false;
    auto fade = loop.later(0.02, [&] { first = true; });
    fade->cancel();
    fade = loop.later(0.02, [&] { second = true; });
    ASSERT_TRUE(spinUntil([&] { return second; }));
    EXPECT_FALSE(first);
}

TEST(QtLoop, DelayedWorkWaitsAtLeastItsDelay) {
    QtLoop loop;
    const Seconds start = loop.now();
    Seconds ranAt = -1;
    loop.after(0.05, [&] { ranAt = loop.now(); });
    ASSERT_TRUE(spinUntil([&] { return ranAt >= 0; }));
    EXPECT_GE(ranAt - start, 0.05);
}

TEST(QtLoop, WorkPostedFromAnyThreadRunsOnTheMainThreadInOrder) {
    QtLoop loop;
    std::vector<int> order;
    std::atomic<bool> offMain{false};
    loop.background([&] {
        offMain = QThread::currentThread() != qApp->thread();
        for (int i = 0; i < 100; ++i) loop.post([&order, i] { order.push_back(i); });
    });
    ASSERT_TRUE(spinUntil([&] { return order.size() == 100; }));
    EXPECT_TRUE(offMain);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
}

}  // namespace
}  // namespace zg
