#include <gtest/gtest.h>

#include "ManualLoop.h"
#include "ui/Halo.h"

namespace zg::test {
namespace {

// Records what the ring's window is told, as short words.
struct RecordingHaloView : HaloView {
    std::optional<double> flipHeight() const override { return flip; }
    void moveTo(Point origin) override {
        at = origin;
        calls.push_back("move");
    }
    void showOpaque() override { calls.push_back("show"); }
    void fadeOut(Seconds duration) override {
        calls.push_back("fade");
        fadeDuration = duration;
    }
    void hideNow() override { calls.push_back("hide"); }
    void pulse(double fromWidth, Seconds duration) override {
        calls.push_back("pulse");
        pulseFrom = fromWidth;
        pulseDuration = duration;
    }
    std::vector<std::string> take() { return std::exchange(calls, {}); }

    std::optional<double> flip;
    Point at;
    Seconds fadeDuration = 0, pulseDuration = 0;
    double pulseFrom = 0;
    std::vector<std::string> calls;
};

using Calls = std::vector<std::string>;

TEST(Halo, CentresTheWindowOnThePointInTheWindowSystemsCoordinates) {
    EXPECT_EQ(Halo::origin({100, 100}, 900.0), (Point{62, 762}));
    EXPECT_EQ(Halo::origin({-300, -20}, 900.0), (Point{-338, 882}));
    EXPECT_EQ(Halo::origin({100, 100}, std::nullopt), (Point{62, 62}));
}

TEST(Halo, FadesTwoAndAHalfSecondsAfterTheLastPointAndPulsesOnlyWhenAsked) {
    ManualLoop loop;
    RecordingHaloView view;
    Halo halo(loop, view);

    halo.at({100, 100}, false);
    EXPECT_EQ(view.take(), (Calls{"move", "show"}));
    EXPECT_EQ(view.at, (Point{62, 62}));
    loop.advance(2);
    halo.at({110, 100}, true);
    EXPECT_EQ(view.take(), (Calls{"move", "show", "pulse"}));
    EXPECT_EQ(view.pulseFrom, 12);
    EXPECT_EQ(view.pulseDuration, 0.32);

    loop.advance(2.4);  // 4.4 s after the first point, 2.4 after the second
    EXPECT_TRUE(view.take().empty());
    loop.advance(0.2);
    EXPECT_EQ(view.take(), (Calls{"fade"}));
    EXPECT_EQ(view.fadeDuration, 0.45);
}

TEST(Halo, OffHidesAtOnceAndCancelsThePendingFade) {
    ManualLoop loop;
    RecordingHaloView view;
    auto halo = std::make_unique<Halo>(loop, view);
    halo->at({10, 10}, false);
    halo->off();
    halo->off();
    view.take();
    loop.advance(10);
    EXPECT_TRUE(view.take().empty());

    // A fade pending when the Halo goes never reaches the view.
    halo->at({10, 10}, false);
    halo.reset();
    view.take();
    loop.advance(10);
    EXPECT_TRUE(view.take().empty());
}

}  // namespace
}  // namespace zg::test
