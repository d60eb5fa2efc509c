#include <gtest/gtest.h>

#include <sstream>

#include "ManualLoop.h"
#include "ui/PairingLayout.h"
#include "ui/QrCode.h"
#include "ui/Ring.h"
#include "ui/StatusText.h"
#include "ui/TrayMenu.h"

namespace zg::test {
namespace {

struct RecordingRingView : RingView {
    std::ostringstream calls;  // what the ring's window was told, in order
    std::optional<double> flipHeight() const override { return std::nullopt; }
    void moveTo(Point p) override { calls << "move " << p.x << ',' << p.y << "; "; }
    void showOpaque() override { calls << "show; "; }
    void fadeOut(Seconds d) override { calls << "fade " << d << "; "; }
    void hideNow() override { calls << "hide; "; }
    void pulse(double width, Seconds d) override { calls << "pulse " << width << ' ' << d << "; "; }
    std::string take() { return std::exchange(calls, {}).str(); }
};

TEST(Ring, FadesTwoAndAHalfSecondsAfterTheLastPointAndNeverOnceGone) {
    ManualLoop loop;
    RecordingRingView view;
    auto ring = std::make_unique<Ring>(loop, view);
    ring->at({100, 100}, false);
    loop.advance(2);
    ring->at({110, 100}, true);
    EXPECT_EQ(view.take(), "move 62,62; show; move 72,62; show; pulse 12 0.32; ");
    loop.advance(2.5 - 1.0 / 1024);  // 4.5 s after the first point, all but 2.5 after the second
    EXPECT_EQ(view.take(), "");
    loop.advance(1.0 / 1024);
    EXPECT_EQ(view.take(), "fade 0.45; ");

    ring->at({10, 10}, false);
    ring.reset();
    loop.advance(10);
    EXPECT_EQ(view.take(), "move -28,-28; show; ");
}

TEST(Pairing, TheCodeIsLevelMWithItsQuietZoneAndItsModulesTheLargestScaleThatFits) {
    const auto code = QrCode::encode("http://192.168.1.20:8787/remote?k=23456789ABCDEFGH");
    ASSERT_TRUE(code);
    EXPECT_EQ(code->width, 33);  // 52 bytes at level M need version 4
    EXPECT_FALSE(QrCode::encode(std::string(3000, 'x')));
    // 33 modules and 4 quiet modules each side: 41 columns, 21 lines of two rows.
    const std::string picture = terminalPicture(*code, false);
    EXPECT_EQ(std::count(picture.begin(), picture.end(), '\n'), 21);
    EXPECT_EQ(picture.substr(0, picture.find('\n')), std::string(41, ' '));
    EXPECT_EQ(std::pair(pairing::moduleScale(25), pairing::moduleScale(57)), std::pair(18, 8));
}

TEST(StatusLine, TheMostPressingConditionWinsAndPhonesAreListedOnceInCodePointOrder) {
    const std::vector<std::string> phones = {"iPhone", "Pixel", "iPhone", "android"};
    EXPECT_EQ(statusLine("No XTEST", false, phones), (StatusLine{"No XTEST", false}));
    EXPECT_EQ(statusLine({}, false, phones), (StatusLine{"Connecting\u2026", false}));
    EXPECT_EQ(statusLine({}, true, phones),
              (StatusLine{"Connected: Pixel, android, iPhone", true}));
}

TEST(TrayMenu, OnlyANearbySpeedIsTicked) {
    EXPECT_TRUE(menu::speedTicked(1.5, 1.509));
    EXPECT_FALSE(menu::speedTicked(1.5, 1.51));
}

}  // namespace
}  // namespace zg::test
