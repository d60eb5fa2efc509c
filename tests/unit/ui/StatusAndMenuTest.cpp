#include <gtest/gtest.h>

#include "ui/StatusText.h"
#include "ui/TrayMenu.h"

namespace zg {
namespace {

TEST(StatusLine, TheMostPressingConditionWinsAndPhonesAreListedOnceInCodePointOrder) {
    const std::vector<std::string> phones = {"iPhone", "Pixel", "iPhone", "android"};
    EXPECT_EQ(statusLine(false, true, phones),
              (StatusLine{"Allow ZephyrGlint in Accessibility settings", false}));
    EXPECT_EQ(statusLine(true, false, phones), (StatusLine{"Connecting\u2026", false}));
    EXPECT_EQ(statusLine(true, true, {}), (StatusLine{"Scan with your phone's camera", false}));
    EXPECT_EQ(statusLine(true, true, phones),
              (StatusLine{"Connected: Pixel, android, iPhone", true}));
}

TEST(StatusLine, TheTooltipShowsTheStatusOnlyWhilePhonesAreConnected) {
    const StatusLine untrusted = statusLine(false, true, {"Pixel"});
    EXPECT_EQ(statusTooltip(untrusted, true),
              "ZephyrGlint: Allow ZephyrGlint in Accessibility settings");
    EXPECT_EQ(statusTooltip(untrusted, false), "ZephyrGlint: waiting for a phone");
    EXPECT_EQ(statusTooltip(statusLine(true, true, {"Pixel"}), true),
              "ZephyrGlint: Connected: Pixel");
}

TEST(TrayMenu, SpeedTitlesAreShortestDecimalsAndOnlyANearbySpeedIsTicked) {
    std::vector<std::string> titles;
    for (double speed : menu::kSpeeds) titles.push_back(menu::speedTitle(speed));
    EXPECT_EQ(titles, (std::vector<std::string>{"0.5×", "0.75×", "1×", "1.5×", "2×", "3×"}));

    EXPECT_TRUE(menu::speedTicked(1.5, 1.5));
    EXPECT_TRUE(menu::speedTicked(1.5, 1.509));
    EXPECT_FALSE(menu::speedTicked(1.5, 1.51));
    EXPECT_FALSE(menu::speedTicked(1.0, 1.2));
    EXPECT_FALSE(menu::speedTicked(1.5, 1.2));
}

}  // namespace
}  // namespace zg
