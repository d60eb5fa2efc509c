#include "app/Dispatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <utility>

#include "ManualLoop.h"
#include "RecordingDevices.h"

namespace zg::test {
namespace {

using Calls = std::vector<std::string>;

// A dispatcher with a real Input on recording devices; each callback logs one line to `calls`.
struct DispatcherTest : testing::Test {
    ManualLoop loop;
    RecordingDevices devices;
    Input input{loop, devices, devices};
    Dispatcher dispatcher{loop, input, "Desk"};
    std::vector<Payload> states;
    Calls calls;

    DispatcherTest() {
        dispatcher.send = [this](const std::string& event, Payload payload) {
            calls.push_back(event);
            states.push_back(std::move(payload));
        };
        dispatcher.paint = [this] { calls.push_back("paint"); };
        dispatcher.hidePairingWindow = [this] { calls.push_back("hide"); };
        dispatcher.screenStart = [this](double w, double h, double zoom, double dpr) {
            std::ostringstream line;
            line << "start " << w << " " << h << " " << zoom << " " << dpr;
            calls.push_back(line.str());
        };
        dispatcher.screenStop = [this] { calls.push_back("stop"); };
        dispatcher.screenAck = [this](int64_t n) { calls.push_back("ack " + std::to_string(n)); };
    }

    void cmd(Payload payload) { dispatcher.onMessage("cmd", payload); }
    void hello(const std::string& from) { dispatcher.onMessage("hello", {{"from", from}}); }
    void bye(const std::string& from) { dispatcher.onMessage("bye", {{"from", from}}); }
    Calls take() { return std::exchange(calls, {}); }
};

TEST_F(DispatcherTest, ExecutesCommandsForThisHostOrForAnyAndNothingElse) {
    for (const Payload& to : {Payload("zzzzzzzz"), Payload(dispatcher.hostId() + " ")}) {
        cmd({{"to", to}, {"from", "p"}, {"do", "click"}});
    }
    for (const char* event : {"state", "frame", "", "Cmd"}) {
        dispatcher.onMessage(event, {{"from", "p"}, {"do", "click"}});
    }
    EXPECT_TRUE(dispatcher.phones().empty());  // not even a sign of life
    EXPECT_TRUE(devices.take().empty());
    EXPECT_EQ(take(), Calls{});

    for (const Payload& to : {Payload(), Payload(""), Payload(dispatcher.hostId()), Payload(7)}) {
        cmd({{"to", to}, {"from", "p"}, {"do", "click"}});
        EXPECT_EQ(devices.take().size(), 2u) << to;  // press and release
    }
    EXPECT_EQ(take(), (Calls{"paint", "state", "state", "state", "state"}));
}

TEST_F(DispatcherTest, RegistersPhonesAndForgetsThoseSilentForMoreThan45Seconds) {
    dispatcher.onMessage("hello", {{"from", "a"}, {"device", ""}});
    dispatcher.onMessage("hello", {{"from", ""}, {"device", "Pad"}});
    cmd({{"from", "b"}, {"device", 5}});
    cmd({{"from", "b"}, {"device", "Later"}});  // a known phone keeps its name
    const auto& phones = dispatcher.phones();
    ASSERT_EQ(phones.size(), 2u);
    EXPECT_EQ(phones.at("a").device, "Phone");
    EXPECT_EQ(phones.at("b").device, "Phone");
    dispatcher.onMessage("hello", {{"from", "b"}, {"device", "Tablet"}});
    EXPECT_EQ(phones.at("b").device, "Tablet");

    loop.advance(30);
    cmd({{"from", "a"}, {"do", "down"}});  // a sign of life, and a held button
    devices.take();
    take();
    // Exactly 45 s of silence is not yet more than the limit.
    for (auto [step, left] : {std::pair{15.0, 2u}, {0.5, 1u}, {29.5, 1u}, {0.5, 0u}}) {
        loop.advance(step);
        dispatcher.expire();
        EXPECT_EQ(phones.size(), left) << loop.now();
    }
    EXPECT_EQ(devices.take(), (Events{Button{MouseButton::Left, false, {}, 1}}));
    dispatcher.expire();  // still nobody: stopped again, which costs nothing
    EXPECT_EQ(take(), (Calls{"stop", "stop"}));
}

TEST_F(DispatcherTest, ReportsStateAfterExactlyTheCommandsThatAskForOne) {
    hello("p");
    EXPECT_EQ(take(), (Calls{"state", "paint"}));
    const std::pair<const char*, bool> table[] = {
        {"move", false}, {"click", true}, {"rclick", false}, {"scroll", false}, {"down", true},
        {"up", true},    {"text", false}, {"key", false},    {"screen", false}, {"ack", false},
        {"sync", true},  {"Sync", false}, {"", false},
    };
    for (const auto& [what, reports] : table) {
        states.clear();
        cmd({{"from", "p"}, {"do", what}, {"t", "x"}, {"k", "a"}, {"on", true}, {"n", 1}});
        EXPECT_EQ(states.size(), reports ? 1u : 0u) << what;
    }
    cmd({{"do", "down"}});
    EXPECT_EQ(states.back()["drag"], true);
    cmd({{"do", "click"}});  // ends the drag
    EXPECT_EQ(states.back()["drag"], false);
    dispatcher.screenError = "No screen";
    dispatcher.sendState();
    EXPECT_EQ(states.back()["screenError"], "No screen");
    dispatcher.screenError.reset();
    dispatcher.sendState();
    EXPECT_FALSE(states.back().contains("screenError"));
    EXPECT_EQ(states.back()["from"], dispatcher.hostId());
    EXPECT_EQ(dispatcher.hostId().find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(dispatcher.hostId().size(), 8u);
}

TEST_F(DispatcherTest, ByeOfTheLastPhoneLetsGoOfTheButtonAndStopsTheStream) {
    hello("a");
    hello("b");
    cmd({{"from", "a"}, {"do", "down"}});
    devices.take();
    take();
    bye("c");
    bye("a");
    EXPECT_EQ(take(), (Calls{"paint", "paint"}));
    EXPECT_TRUE(input.dragging());
    bye("b");
    EXPECT_EQ(devices.take(), (Events{Button{MouseButton::Left, false, {}, 1}}));
    bye("b");
    EXPECT_EQ(take(), (Calls{"stop", "paint", "stop", "paint"}));
}

TEST_F(DispatcherTest, FirstHelloHidesTheAutomaticPairingWindowOnceThePhoneStays) {
    dispatcher.pairingShown = true;
    hello("a");
    EXPECT_FALSE(dispatcher.pairingShown);
    loop.advance(1.19);
    EXPECT_EQ(take(), (Calls{"state", "paint"}));
    loop.advance(0.02);
    EXPECT_EQ(take(), Calls{"hide"});

    bye("a");  // a phone that leaves within the delay keeps the window up
    dispatcher.pairingShown = true;
    hello("a");
    loop.advance(1.0);
    bye("a");
    loop.advance(5);
    dispatcher.pairingShown = true;  // a first command arms nothing, nor does a later hello
    cmd({{"from", "a"}, {"do", "move"}});
    hello("b");
    loop.advance(5);
    EXPECT_TRUE(dispatcher.pairingShown);
    EXPECT_EQ(take(), (Calls{"stop", "paint", "state", "paint", "stop", "paint", "paint", "state",
                             "paint"}));

    auto gone = std::make_unique<Dispatcher>(loop, input, "Desk");
    gone->hidePairingWindow = [this] { calls.push_back("hide"); };
    gone->pairingShown = true;
    gone->onMessage("hello", {{"from", "a"}});
    gone.reset();
    loop.advance(5);
    EXPECT_EQ(take(), Calls{});
}

TEST_F(DispatcherTest, TypesTextOfAtMost4000Characters) {
    std::string accented;
    for (int i = 0; i < 4000; ++i) accented += "e\u0301";  // two code points, one character
    const std::pair<std::string, size_t> table[] = {
        {accented, 8000u},  // a down and an up per character
        {accented + "x", 0u},
        {std::string(10'000'000, 'x'), 0u},
        {"", 0u},
    };
    for (const auto& [t, events] : table) {
        cmd({{"do", "text"}, {"t", t}});
        EXPECT_EQ(devices.take().size(), events) << t.size();
    }
}

TEST_F(DispatcherTest, PressesKeysWithModifiersOnlyWhenEveryModifierIsAString) {
    cmd({{"do", "key"}, {"k", "c"}, {"mods", {"ctrl"}}});
    cmd({{"do", "key"}, {"k", "c"}, {"mods", {"ctrl", 1}}});
    EXPECT_EQ(devices.take(),
              (Events{Pressed{Key::C, kCommand, true}, Pressed{Key::C, kCommand, false},
                      Pressed{Key::C, 0, true}, Pressed{Key::C, 0, false}}));
}

TEST_F(DispatcherTest, HandsScreenAndAckNumbersOnAsRead) {
    const std::pair<Payload, Calls> table[] = {
        {{{"do", "screen"}, {"on", true}}, {"start 0 0 0 0"}},
        {{{"do", "screen"}, {"on", true}, {"w", 390}, {"h", 844.5}, {"zoom", -2}, {"dpr", 1e308}},
         {"start 390 844.5 -2 1e+308"}},
        {{{"do", "screen"}, {"on", "true"}, {"w", 390}}, {"stop"}},
        {{{"do", "ack"}, {"n", 7.9}}, {"ack 7"}},
        {{{"do", "ack"}, {"n", -7.9}}, {"ack -7"}},
        {{{"do", "ack"}, {"n", -9223372036854775808.0}}, {"ack -9223372036854775808"}},
        {{{"do", "ack"}, {"n", 9223372036854775808.0}}, {}},  // 2^63: beyond int64
        {{{"do", "ack"}, {"n", -1e308}}, {}},
    };
    for (const auto& [payload, expected] : table) {
        cmd(payload);
        EXPECT_EQ(take(), expected) << payload;
    }
}

}  // namespace
}  // namespace zg::test
