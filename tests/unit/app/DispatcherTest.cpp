#include "app/Dispatcher.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "ManualLoop.h"
#include "RecordingDevices.h"

namespace zg::test {
namespace {

// A dispatcher with a real Input on recording devices; each callback logs a line to `calls`.
struct DispatcherTest : testing::Test {
    ManualLoop loop;
    RecordingDevices devices;
    Input input{loop, devices, devices};
    Dispatcher dispatcher{loop, input, "Desk"};
    Payload state;      // the last one sent
    std::string calls;  // what the callbacks did, in order: "state drag, paint"

    DispatcherTest() {
        dispatcher.send = [this](const std::string& event, Payload payload) {
            log(event + (payload.value("drag", false) ? " drag" : ""));
            state = std::move(payload);
        };
        dispatcher.paint = [this] { log("paint"); };
        dispatcher.hidePairingWindow = [this] { log("hide"); };
        dispatcher.screenStart = [this](double w, double h, double zoom, double dpr) {
            log("start " + Payload{w, h, zoom, dpr}.dump());
        };
        dispatcher.screenStop = [this] { log("stop"); };
        dispatcher.screenAck = [this](int64_t n) { log("ack " + std::to_string(n)); };
    }

    void cmd(Payload payload) { dispatcher.onMessage("cmd", payload); }
    void hello(const std::string& from) { dispatcher.onMessage("hello", {{"from", from}}); }
    void bye(const std::string& from) { dispatcher.onMessage("bye", {{"from", from}}); }
    void log(const std::string& line) { calls += (calls.empty() ? "" : ", ") + line; }
    std::string take() { return std::exchange(calls, {}); }
};

TEST_F(DispatcherTest, ActsOnlyOnCommandsForThisHostOrForAny) {
    const std::tuple<const char*, Payload, bool> table[] = {{"cmd", {}, true},
                                                            {"cmd", dispatcher.hostId(), true},
                                                            {"cmd", "zzzzzzzz", false},
                                                            {"state", {}, false}};
    for (const auto& [event, to, acts] : table) {
        SCOPED_TRACE(std::string(event) + " to " + to.dump());
        dispatcher.onMessage(event, {{"to", to}, {"from", "p"}, {"do", "click"}});
        EXPECT_EQ(devices.take().size(), acts ? 2u : 0u);  // press and release
        EXPECT_EQ(dispatcher.phones().size(), acts ? 1u : 0u);
        dispatcher.forgetPhones();
    }
}

TEST_F(DispatcherTest, ReportsStateWithTheDragFlagAndTheLastByeLetsGo) {
    hello("a");
    for (const char* what : {"sync", "down", "up", "down"}) cmd({{"from", "a"}, {"do", what}});
    EXPECT_EQ(take(), "state, paint, state, state drag, state, state drag");
    hello("b");
    bye("a");
    EXPECT_TRUE(input.dragging());  // while a phone is left
    bye("b");
    EXPECT_FALSE(input.dragging());
    EXPECT_EQ(take(), "state drag, paint, paint, stop, paint");

    const std::string id = dispatcher.hostId();
    dispatcher.sendState();
    EXPECT_EQ(state.dump(),
              R"({"drag":false,"from":")" + id + R"(","kind":"host","name":"Desk","os":"linux"})");
    dispatcher.sendFarewell();
    EXPECT_EQ(state, (Payload{{"kind", "host"}, {"from", id}, {"name", "Desk"}, {"gone", true}}));
}

TEST_F(DispatcherTest, NamesPhonesAndForgetsThoseSilentForMoreThan45Seconds) {
    dispatcher.onMessage("hello", {{"from", "a"}, {"device", ""}});
    cmd({{"from", "b"}, {"device", "Pad"}});
    cmd({{"from", "b"}, {"device", "Later"}});  // a known phone keeps its name
    const auto& phones = dispatcher.phones();
    EXPECT_EQ(phones.at("a").device + phones.at("b").device, "PhonePad");

    loop.advance(30);
    cmd({{"from", "a"}, {"do", "down"}});
    devices.take();
    take();
    for (auto [step, left] : {std::pair{15.0, 2u}, {0.5, 1u}, {29.5, 1u}, {0.5, 0u}}) {
        loop.advance(step);
        dispatcher.expire();
        EXPECT_EQ(phones.size(), left) << loop.now();
    }
    EXPECT_EQ(devices.take(), (Events{Button{MouseButton::Left, false, {}, 1}}));
    EXPECT_EQ(take(), "stop");
}

TEST_F(DispatcherTest, FirstHelloHidesTheAutomaticPairingWindowOnceThePhoneStays) {
    dispatcher.pairingShown = true;
    hello("a");
    loop.advance(1.19);
    EXPECT_EQ(take(), "state, paint");
    loop.advance(0.02);
    EXPECT_EQ(take(), "hide");

    bye("a");  // a phone that leaves within the delay keeps the window up
    dispatcher.pairingShown = true;
    hello("a");
    loop.advance(1.0);
    bye("a");
    loop.advance(5);
    EXPECT_EQ(calls.find("hide"), std::string::npos);
}

TEST_F(DispatcherTest, ReadsEachValueAsItsOwnTypeWithinBounds) {
    std::string accented;
    for (int i = 0; i < 4000; ++i) accented += "e\u0301";  // two code points, one character
    cmd({{"do", "text"}, {"t", accented}});
    cmd({{"do", "text"}, {"t", accented + "x"}});
    EXPECT_EQ(devices.take().size(), 8000u);  // down and up of 4000 characters, none of 4001
    for (double n : {7.9, 0x1p63}) cmd({{"do", "ack"}, {"n", n}});  // 2^63: not a frame of ours
    cmd({{"do", "screen"}, {"on", true}, {"w", "390"}, {"h", 844.5}, {"zoom", -2}, {"dpr", 3}});
    cmd({{"do", "screen"}, {"on", "true"}, {"w", 390}});
    EXPECT_EQ(take(), "ack 7, start [0.0,844.5,-2.0,3.0], stop");
    cmd({{"do", "key"}, {"k", "c"}, {"mods", {"ctrl"}}});
    EXPECT_EQ(devices.take().size(), 2u);
}

}  // namespace
}  // namespace zg::test
