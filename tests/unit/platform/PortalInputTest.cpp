#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <cmath>
#include <sstream>

#include "ManualLoop.h"
#include "platform/portal/PortalInput.h"

namespace zg::test {
namespace {

// The calls a session would have made, one line each: "move 42 10,20", "button 272 down".
struct RecordingSession : RemoteInput {
    std::vector<std::string> calls;

    void motionAbsolute(uint32_t node, double x, double y) override {
        std::ostringstream line;
        line << "move " << node << " " << x << "," << y;
        calls.push_back(line.str());
    }
    void button(int code, bool down) override { record("button", code, down); }
    void axisDiscrete(bool horizontal, int notches) override {
        calls.push_back(std::string(horizontal ? "hscroll " : "scroll ") + std::to_string(notches));
    }
    void keycode(int code, bool down) override { record("key", code, down); }
    void keysym(uint32_t keysym, bool down) override { record("sym", int(keysym), down); }

    void record(const char* what, int code, bool down) {
        calls.push_back(std::string(what) + " " + std::to_string(code) + (down ? " down" : " up"));
    }
    std::vector<std::string> take() { return std::exchange(calls, {}); }
};

using Calls = std::vector<std::string>;

struct PortalPointerTest : testing::Test {
    ManualLoop loop;
    RecordingSession session;
    // Two monitors side by side, the second one higher up.
    std::vector<ScreenStream> streams{{41, {0, 0, 1280, 800}}, {42, {1280, -200, 1920, 1080}}};
    std::optional<Point> cursor;
    PortalPointer pointer{loop, session, [this] { return streams; }, [this] { return cursor; }};
};

TEST_F(PortalPointerTest, MovesLandOnTheMonitorUnderThemInThatMonitorsOwnCoordinates) {
    EXPECT_EQ(pointer.displays(), (std::vector<Rect>{{0, 0, 1280, 800}, {1280, -200, 1920, 1080}}));
    pointer.moveTo({100.5, 700}, false, 0);
    pointer.moveTo({1300, -150}, false, 0);
    pointer.moveTo({1279.5, 900}, false, 0);  // below the first monitor: on none
    pointer.moveTo({std::nan(""), 10}, false, 0);
    EXPECT_EQ(session.take(), (Calls{"move 41 100.5,700", "move 42 20,50"}));
}

TEST_F(PortalPointerTest, LocationIsWhereWeMovedItUntilTheStreamsHaveCaughtUp) {
    EXPECT_EQ(pointer.location(), (Point{640, 400}));  // nothing known: the first monitor's centre
    cursor = Point{10, 10};
    EXPECT_EQ(pointer.location(), (Point{10, 10}));
    pointer.moveTo({500, 500}, false, 0);
    EXPECT_EQ(pointer.location(), (Point{500, 500}));  // the streams have not shown it yet
    loop.advance(PortalPointer::kCursorLag);
    cursor = Point{900, 20};  // the user's own mouse moved it since
    EXPECT_EQ(pointer.location(), (Point{900, 20}));
}

TEST_F(PortalPointerTest, ButtonsGoToTheirPlaceFirstAndAreLetGoWhenThePointerGoes) {
    pointer.moveTo({5, 5}, false, 0);
    pointer.button(MouseButton::Left, true, {5, 5}, 1);
    pointer.button(MouseButton::Right, true, {6, 5}, 1);
    pointer.button(MouseButton::Right, false, {6, 5}, 1);
    {
        PortalPointer other{loop, session, [this] { return streams; }, [] { return std::nullopt; }};
        other.button(MouseButton::Left, true, {7, 7}, 1);
        session.take();
    }
    EXPECT_EQ(session.take(), (Calls{"button 272 up"}));  // the other pointer's, on destruction
    EXPECT_EQ(pointer.location(), (Point{6, 5}));
}

TEST_F(PortalPointerTest, ScrollDistancesBecomeWholeNotchesDownwardsWhenNegative) {
    pointer.scroll(120);     // two notches up, 20 px kept
    pointer.scroll(-30);     // -10 px: no notch
    pointer.scroll(-45);     // -55 px: one down, -5 kept
    pointer.scroll(100000);  // an absurd distance gives the most notches, and nothing is kept
    pointer.scroll(40);
    EXPECT_EQ(session.take(), (Calls{"scroll -2", "scroll 1", "scroll -40"}));
}

TEST(PortalKeyboard, ShortcutsPressModifiersFirstAndReleaseThemLastByKeyPosition) {
    RecordingSession session;
    PortalKeyboard keyboard(session);
    keyboard.key(Key::C, kCtrl | kShift, true);
    keyboard.key(Key::C, kCtrl | kShift, false);
    keyboard.key(Key::ArrowUp, 0, true);
    keyboard.key(Key::Return, 0, true);  // an earlier key still down goes up first
    EXPECT_EQ(session.take(),
              (Calls{"key 29 down", "key 42 down", "key 46 down", "key 46 up", "key 42 up",
                     "key 29 up", "key 103 down", "key 103 up", "key 28 down"}));
}

TEST(PortalKeyboard, CharactersAreTypedByKeysymWithOneLineBreakForCrLf) {
    RecordingSession session;
    {
        PortalKeyboard keyboard(session);
        keyboard.key(Key::A, 0, true);
        keyboard.character("é\r\n😀", true);
        keyboard.character("x", false);  // the up half types nothing more
    }
    EXPECT_EQ(session.take(),
              (Calls{"key 30 down", "key 30 up", "sym 233 down", "sym 233 up", "sym 65293 down",
                     "sym 65293 up", "sym 16905728 down", "sym 16905728 up"}));
}

TEST(PortalKeyboard, ACharacterTheLayoutHasNoKeyForIsReportedWholeInsteadOfSent) {
    RecordingSession session;
    // The layout has no é and no combining acute; whether it has "b" cannot be told.
    PortalKeyboard keyboard(session, [](uint32_t keysym) -> std::optional<bool> {
        if (keysym == 'b') return std::nullopt;
        return keysym != 0xe9 && keysym != 0x1000301;
    });
    std::vector<std::string> reported;
    keyboard.onUntypable = [&reported](std::string_view c) { reported.emplace_back(c); };
    const struct {
        const char* character;
        Calls sent;
        bool reported;
    } rows[] = {
        {"a", {"sym 97 down", "sym 97 up"}, false},
        {"é", {}, true},
        {"e\u0301", {}, true},  // no bare "e": the character goes whole or not at all
        {"b", {"sym 98 down", "sym 98 up"}, false},  // not knowing holds nothing back
        {"\r\n", {"sym 65293 down", "sym 65293 up"}, false},
        {"\x01", {}, false},  // no key types it anywhere: nothing to report
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.character);
        keyboard.character(row.character, true);
        keyboard.character(row.character, false);
        EXPECT_EQ(session.take(), row.sent);
        EXPECT_EQ(std::exchange(reported, {}), row.reported
                                                   ? std::vector<std::string>{row.character}
                                                   : std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace zg::test
