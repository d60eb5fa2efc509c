#include <gtest/gtest.h>

#include <limits>

#include "ManualLoop.h"
#include "RecordingDevices.h"
#include "input/Input.h"

namespace zg::test {
namespace {

constexpr auto L = MouseButton::Left;
constexpr auto R = MouseButton::Right;
constexpr double inf = std::numeric_limits<double>::infinity();
const Point home{1000, 500};

// The input on recording devices, the pointer at `home`; Posted's event lines are at hand.
struct InputTest : testing::Test, Posted {
    ManualLoop loop;
    RecordingDevices devices;
    Input input{loop, devices, devices};
    InputTest() { devices.pointerAt = home; }
    void clickAfter(Seconds pause, bool right = false) {
        loop.advance(pause);
        input.click(right);
    }
    Events moveFrom(Point from, double dx, double dy, std::vector<Rect> screens, double speed = 1) {
        devices.pointerAt = from;
        devices.screens = std::move(screens);
        input.speed = speed;
        input.move(dx, dy);
        return devices.take();
    }
    static Events press(Key k, Modifiers m = 0) { return {key(k, m, true), key(k, m, false)}; }
    // Each character typed, where a line break presses Return.
    static Events type(const std::vector<std::string>& characters) {
        Events out;
        for (const std::string& c : characters) {
            const Events one =
                c == "\n" ? press(Key::Return) : Events{text(c, true), text(c, false)};
            out.insert(out.end(), one.begin(), one.end());
        }
        return out;
    }
};

TEST_F(InputTest, MovesAccelerateKeepSignedRemaindersAndStayOnTheDisplaysWithinOneMovesBound) {
    // 0.5 goes 0.718 points, 100 goes 360 (capped); -1.5 after 1.154 leaves -0.107, not -0.893.
    const double dx[] = {100, -100, 0.5, 0.5, 0.5, -1.5, 0.5};
    const double x[] = {1360, 1000, 1000, 1001, 1002, 1000, 1000};
    for (int i = 0; i < 7; ++i) {
        input.move(dx[i], 0);
        EXPECT_EQ(devices.pointerAt, (Point{x[i], 500})) << i;
    }
    EXPECT_EQ(devices.take().size(), 5u);  // a move of less than a point posts nothing

    const std::vector<Rect> one = devices.screens, two{one[0], {1920, -200, 1280, 1024}};
    EXPECT_EQ(moveFrom({3199, 1079}, 5, 5, two), Events{move({3199, 1079})});
    // The corner of the displays' union, on no display; no display known: one move's bound.
    EXPECT_EQ(moveFrom({0, -200}, -5, -5, two), Events{move({0, -200})});
    EXPECT_EQ(moveFrom({5, 5}, 1e308, 0, {}), Events{move({100005, 5})});
    EXPECT_EQ(moveFrom({5, 5}, inf, 0, one), Events{});
    EXPECT_EQ(moveFrom({1, 0}, 1e308, 0, one, 0), Events{});  // infinity times zero: no movement
}

TEST_F(InputTest, LeftClicksCountOneTwoThreeThreeAndRestartAfterTheInterval) {
    clickAfter(0);
    clickAfter(0.25);
    clickAfter(0.125, true);  // right clicks neither count nor break the series
    clickAfter(0.125);
    clickAfter(0.25);
    clickAfter(0.5);  // a full interval later: a new series
    Events clicks;
    for (auto [b, n] : {std::pair{L, 1}, {L, 2}, {R, 1}, {L, 3}, {L, 3}, {L, 1}})
        clicks.insert(clicks.end(), {button(b, true, home, n), button(b, false, home, n)});
    EXPECT_EQ(devices.take(), clicks);
}

TEST_F(InputTest, HoldDragsUntilHoldFalseReleaseOrALeftClickEndsItOnce) {
    input.hold(true);
    input.hold(true);
    input.move(10, 0);
    input.hold(false);
    input.hold(false);
    const Point q{1021, 500};
    EXPECT_EQ(devices.take(),
              (Events{button(L, true, home, 1), move(q, true, 1), button(L, false, q, 1)}));
    loop.advance(1);
    input.hold(true);
    clickAfter(0.1, true);  // a right click leaves the drag held
    clickAfter(0.1);
    EXPECT_FALSE(input.dragging());
    input.release();  // the drag is over: no second release
    EXPECT_EQ(devices.take(), (Events{button(L, true, q, 1), button(R, true, q, 1),
                                      button(R, false, q, 1), button(L, false, q, 1)}));
}

TEST_F(InputTest, WheelPostsWholePixelsKeepsTheFractionAndDropsAbsurdExcess) {
    for (double dy : {0.25, 1.0, -0.1, -1.0, inf, 1e308, -1e308, 1.0}) input.scroll(dy);  // x -2.2
    EXPECT_EQ(devices.take(),
              (Events{scroll(-2), scroll(1), scroll(-2000), scroll(2000), scroll(-2)}));
}

TEST_F(InputTest, KeysPressWithFlagsOthersAreTypedOrDroppedAndTextGoesACharacterAtATime) {
    const auto pressed = [this](std::string name, std::vector<std::string> mods) {
        input.key(name, mods);
        return devices.take();
    };
    EXPECT_EQ(pressed("Enter", {"ctrl"}), press(Key::Return, kCtrl));
    EXPECT_EQ(pressed("A", {"alt"}), press(Key::A, kAlt | kShift));
    EXPECT_EQ(pressed("Space", {"win"}), press(Key::Space, kWin));
    EXPECT_EQ(pressed("0", {"ctrl"}), press(Key::Digit0, kCtrl));
    EXPECT_EQ(pressed("a", {"cmd", "Ctrl"}), press(Key::A));  // names it does not know
    EXPECT_EQ(pressed("!", {}), type({"!"}));
    EXPECT_EQ(pressed("!", {"shift"}), Events{});
    EXPECT_EQ(pressed("enter", {}), type({"e", "n", "t", "e", "r"}));

    const std::string coder = "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb";  // ZWJ sequence
    input.text("a\nb\r\nc\r" + coder + "e\xcc\x81" + "\xff\xe2\x82" + "d");  // stray bytes dropped
    EXPECT_EQ(devices.take(), type({"a", "\n", "b", "\n", "c", "\n", coder, "e\xcc\x81", "d"}));
}

}  // namespace
}  // namespace zg::test
