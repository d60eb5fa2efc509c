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

Events operator+(Events a, const Events& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// A press and a release for each {button, click count}.
Events clicks(std::initializer_list<std::pair<MouseButton, int>> series, Point at = home) {
    Events out;
    for (auto [b, n] : series) out = out + Events{Button{b, true, at, n}, Button{b, false, at, n}};
    return out;
}
Events press(Key key, Modifiers modifiers = 0) {
    return {Pressed{key, modifiers, true}, Pressed{key, modifiers, false}};
}
Events type(const std::vector<std::string>& characters) {
    Events events;
    for (const std::string& c : characters)
        events = events + Events{Typed{c, true}, Typed{c, false}};
    return events;
}

struct InputTest : testing::Test {
    ManualLoop loop;
    RecordingDevices devices;
    Input input{loop, devices, devices};
    std::vector<std::pair<Point, bool>> told;

    InputTest() {
        devices.pointerAt = home;
        input.onPointer = [this](Point at, bool pulse) { told.emplace_back(at, pulse); };
    }
    void clickAfter(Seconds pause, bool right = false) {
        loop.advance(pause);
        input.click(right);
    }
};

TEST_F(InputTest, MovesAccelerateAndKeepTruncatedRemaindersWithTheirSign) {
    // 0.5 goes 0.718 points, 100 goes 360 (capped); -1.5 after 1.154 leaves -0.107, not -0.893.
    const double dx[] = {100, -100, 0.5, 0.5, 0.5, -1.5, 0.5};
    const double x[] = {1360, 1000, 1000, 1001, 1002, 1000, 1000};
    for (int i = 0; i < 7; ++i) {
        input.move(dx[i], 0);
        EXPECT_EQ(devices.pointerAt, (Point{x[i], 500})) << i;
    }
    EXPECT_EQ(devices.take().size(), 5u);  // a move of less than a point posts nothing
    EXPECT_EQ(told.back(), std::make_pair(home, false));
}

TEST_F(InputTest, MovesStayOnTheDisplaysAndWithinOneMovesBound) {
    const std::vector<Rect> one = devices.screens,
                            two{{0, 0, 1920, 1080}, {1920, -200, 1280, 1024}};
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
             {{5, 5}, 1e308, 0, Point{100005, 5}, {}},  // no display: one move's own bound
             {{5, 5}, inf, 0, {}, one},
             {{1, 0}, 1e308, 0, {}, one, 0},  // infinity times zero: no movement
         }) {
        SCOPED_TRACE(testing::Message() << c.from.x << "," << c.from.y << " by " << c.dx);
        devices.screens = c.screens;
        devices.pointerAt = c.from;
        input.speed = c.speed;
        input.move(c.dx, c.dy);
        EXPECT_EQ(devices.take(), c.to ? Events{Moved{*c.to}} : Events{});
    }
}

TEST_F(InputTest, LeftClicksCountOneTwoThreeThreeAndRestartAfterTheInterval) {
    clickAfter(0);
    clickAfter(0.25);
    clickAfter(0.125, true);  // right clicks neither count nor break the series
    clickAfter(0.125);
    clickAfter(0.25);
    clickAfter(0.5);  // a full interval later: a new series
    EXPECT_EQ(devices.take(), clicks({{L, 1}, {L, 2}, {R, 1}, {L, 3}, {L, 3}, {L, 1}}));
    EXPECT_EQ(told.back(), std::make_pair(home, true));
}

TEST_F(InputTest, HoldDragsUntilHoldFalseReleaseOrALeftClickEndsItOnce) {
    input.hold(true);
    input.hold(true);
    input.move(10, 0);
    input.hold(false);
    input.hold(false);
    const Point q{1021, 500};
    EXPECT_EQ(devices.take(),
              (Events{Button{L, true, home, 1}, Moved{q, true, 1}, Button{L, false, q, 1}}));

    loop.advance(1);
    input.hold(true);
    clickAfter(0.1, true);  // a right click leaves the drag held
    EXPECT_TRUE(input.dragging());
    clickAfter(0.1);
    EXPECT_FALSE(input.dragging());
    input.release();  // the drag is over: no second release
    EXPECT_EQ(devices.take(), (Events{Button{L, true, q, 1}} + clicks({{R, 1}}, q) +
                               Events{Button{L, false, q, 1}}));
}

TEST_F(InputTest, WheelPostsWholePixelsKeepsTheFractionAndDropsAbsurdExcess) {
    for (double dy : {0.25, 1.0, -0.1, -1.0, inf, 1e308, -1e308, 1.0}) input.scroll(dy);  // x -2.2
    EXPECT_EQ(devices.take(),
              (Events{Scrolled{-2}, Scrolled{1}, Scrolled{-2000}, Scrolled{2000}, Scrolled{-2}}));
}

TEST_F(InputTest, KeysTakeTheirCodeFlagsAndShiftOrAreTypedAloneAndDroppedWithModifiers) {
    struct Case {
        std::string name;
        std::vector<std::string> mods;
        Events expected;
    };
    for (const Case& c : std::vector<Case>{
             {"Enter", {"ctrl"}, press(Key::Return, kCtrl)},
             {"A", {"alt"}, press(Key::A, kAlt | kShift)},
             {"Space", {"win"}, press(Key::Space, kWin)},
             {"z", {"ctrl"}, press(Key::Z, kCtrl)},
             {"0", {"ctrl"}, press(Key::Digit0, kCtrl)},
             {"a", {"cmd", "Ctrl"}, press(Key::A)},
             {"!", {}, type({"!"})},
             {"!", {"shift"}, {}},
             {"enter", {}, type({"e", "n", "t", "e", "r"})},
         }) {
        input.key(c.name, c.mods);
        EXPECT_EQ(devices.take(), c.expected) << '"' << c.name << '"';
    }
}

TEST_F(InputTest, TextIsTypedOneCharacterAtATimeAndLineBreaksPressReturn) {
    const std::string coder = "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb";  // ZWJ sequence
    input.text("a\nb\r\nc\r" + coder + "e\xcc\x81" + "\xff\xe2\x82" + "d");  // stray bytes dropped
    EXPECT_EQ(devices.take(), type({"a"}) + press(Key::Return) + type({"b"}) + press(Key::Return) +
                                  type({"c"}) + press(Key::Return) +
                                  type({coder, "e\xcc\x81", "d"}));
}

}  // namespace
}  // namespace zg::test
