#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "ManualLoop.h"
#include "RecordingDevices.h"
#include "input/Input.h"

namespace zg::test {
namespace {

constexpr auto L = MouseButton::Left;
constexpr auto R = MouseButton::Right;

// A press and a release for each {button, click count}.
Events clicks(std::initializer_list<std::pair<MouseButton, int>> series, Point at = {1000, 500}) {
    Events out;
    for (auto [b, n] : series) out = out + Events{Button{b, true, at, n}, Button{b, false, at, n}};
    return out;
}

struct PointerControl : testing::Test {
    ManualLoop loop;
    RecordingDevices devices;
    Input input{loop, devices, devices};
    std::vector<std::pair<Point, bool>> told;

    PointerControl() {
        devices.pointerAt = {1000, 500};
        input.onPointer = [this](Point at, bool pulse) { told.emplace_back(at, pulse); };
    }
    void clickAfter(Seconds pause, bool right = false) {
        loop.advance(pause);
        input.click(right);
    }
};

TEST_F(PointerControl, AcceleratesAndKeepsTruncatedRemaindersWithTheirSign) {
    input.move(100, 0);  // factor capped at 3.6
    input.move(-100, 0);
    EXPECT_EQ(devices.take(), (Events{Moved{{1360, 500}}, Moved{{1000, 500}}}));
    told.clear();
    input.move(0.5, 0);  // 0.5 * (1.4 + 0.5 / 14) = 0.718: nothing yet
    EXPECT_TRUE(devices.take().empty());
    EXPECT_TRUE(told.empty());
    input.move(0.5, 0);   // 1.436: one point, 0.436 kept
    input.move(0.5, 0);   // 1.154: one more, 0.154 kept
    input.move(-1.5, 0);  // -2.107: two points left, -0.107 kept (not floored to -3 and 0.893)
    input.move(0.5, 0);   // 0.611: no step
    EXPECT_EQ(devices.take(), (Events{Moved{{1001, 500}}, Moved{{1002, 500}}, Moved{{1000, 500}}}));
    EXPECT_EQ(told.back(), std::make_pair(Point{1000, 500}, false));
}

TEST_F(PointerControl, ClampsToTheUnionOfDisplaysAndStaysSaneOnAbsurdDeltasAndSpeeds) {
    const std::vector<Rect> one = devices.screens,
                            two{{0, 0, 1920, 1080}, {1920, -200, 1280, 1024}};
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        Point from;
        double dx, dy;
        std::optional<Point> to;
        std::vector<Rect> screens;
        double speed = 1;
    };
    for (const Case& c : std::vector<Case>{
             {{3199, 1079}, 5, 5, Point{3199, 1079}, two},
             {{0, -200}, -5, -5, Point{0, -200}, two},  // the union's corner, on no display
             {{100, 100}, 100, 0, Point{460, 100}, two},
             {{10, 10}, -100, 100, Point{0, 370}, {}},  // no display: only the origin bounds
             {{3190, 100}, 100, -100, Point{3550, 0}, {}},
             {{5, 5}, inf, 0, {}, one},
             {{5, 5}, 0, -inf, {}, one},
             {{5, 5}, std::numeric_limits<double>::quiet_NaN(), 1, {}, one},
             {{5, 5}, 1e308, 1e308, Point{1919, 1079}, one},
             {{5, 5}, -1e308, -1e308, Point{0, 0}, one},
             {{0, 0}, 0.5, 0, {}, one},
             {{0, 0}, 0.5, 0, Point{1, 0}, one},  // nothing absurd was kept in the remainder
             {{1, 0}, 0, 0.01, Point{1, 1079}, one, 1e308},
             {{1, 0}, 1e308, 0, {}, one, 0},  // infinity times zero: no movement
         }) {
        SCOPED_TRACE(testing::Message()
                     << c.from.x << "," << c.from.y << " by " << c.dx << "," << c.dy);
        devices.screens = c.screens;
        devices.pointerAt = c.from;
        input.speed = c.speed;
        input.move(c.dx, c.dy);
        EXPECT_EQ(devices.take(), c.to ? Events{Moved{*c.to}} : Events{});
    }
}

TEST_F(PointerControl, LeftClicksCountOneTwoThreeThreeAndRestartAfterTheInterval) {
    clickAfter(0);
    clickAfter(0.25);
    clickAfter(0.125, true);  // right clicks neither count nor break the series
    clickAfter(0.125);
    clickAfter(0.25);
    clickAfter(0.5);  // a full interval later: a new series
    EXPECT_EQ(devices.take(), clicks({{L, 1}, {L, 2}, {R, 1}, {L, 3}, {L, 3}, {L, 1}}));
    EXPECT_EQ(told.size(), 6u);
    EXPECT_EQ(told.back(), std::make_pair(Point{1000, 500}, true));
}

TEST_F(PointerControl, HoldDragsAndHoldFalseOrReleaseEndsItOnce) {
    input.hold(false);
    input.release();
    EXPECT_TRUE(devices.take().empty());
    EXPECT_TRUE(told.empty());

    clickAfter(0);
    loop.advance(0.2);
    input.hold(true);  // counted as the second press of the series
    input.hold(true);
    input.move(10, 0);
    input.hold(false);
    input.hold(false);
    input.hold(true);
    input.release();
    input.release();
    EXPECT_FALSE(input.dragging());
    const Point p{1000, 500}, q{1021, 500};
    EXPECT_EQ(devices.take(), (clicks({{L, 1}}) + Events{Button{L, true, p, 2}, Moved{q, true, 2}} +
                               Events{Button{L, false, q, 2}} + clicks({{L, 3}}, q)));
    EXPECT_EQ(told.size(), 6u);
}

TEST_F(PointerControl, LeftClickEndsADragWithoutCountingAndRightClickLeavesItHeld) {
    input.hold(true);
    clickAfter(0.1, true);
    EXPECT_TRUE(input.dragging());
    clickAfter(0.1);
    EXPECT_FALSE(input.dragging());
    clickAfter(0.1);  // the drag's press was the first of this series
    const Point p{1000, 500};
    EXPECT_EQ(devices.take(), (Events{Button{L, true, p, 1}} + clicks({{R, 1}}) +
                               Events{Button{L, false, p, 1}} + clicks({{L, 2}})));
}

TEST_F(PointerControl, WheelPostsWholePixelsKeepsTheFractionAndDropsAbsurdExcess) {
    input.scroll(0.05);  // -0.11 kept
    input.scroll(1.0);   // -2.31: -2 posted, -0.31 kept
    input.scroll(-0.1);  // -0.09
    input.scroll(-1.0);  // 2.11: 2 posted
    input.scroll(std::numeric_limits<double>::infinity());
    input.scroll(1e308);
    input.scroll(-1e308);
    input.scroll(1.0);
    input.hold(true);    // scrolling does not depend on the drag
    input.scroll(-2.0);  // 4.2
    EXPECT_EQ(devices.take(), (Events{Scrolled{-2}, Scrolled{2}, Scrolled{-2000}, Scrolled{2000},
                                      Scrolled{-2}, Button{L, true, {1000, 500}, 1}, Scrolled{4}}));
    EXPECT_EQ(told.size(), 1u);
}

}  // namespace
}  // namespace zg::test
