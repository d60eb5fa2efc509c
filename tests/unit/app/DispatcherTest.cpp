#include "app/Dispatcher.h"

#include <gtest/gtest.h>

#include <memory>
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
    const struct {
        const char* event;
        Payload to;
        bool acts;
    } table[] = {
        {"cmd", {}, true},    {"cmd", "", true},          {"cmd", dispatcher.hostId(), true},
        {"cmd", 7, true},     {"cmd", "zzzzzzzz", false}, {"cmd", dispatcher.hostId() + " ", false},
        {"state", {}, false}, {"frame", {}, false},       {"Cmd", {}, false},
        {"", {}, false},
    };
    int row = 0;
    for (const auto& [event, to, acts] : table) {
        SCOPED_TRACE(std::string(event) + " to " + to.dump());
        const std::string from = "p" + std::to_string(++row);
        dispatcher.onMessage(event, {{"to", to}, {"from", from}, {"do", "click"}});
        EXPECT_EQ(devices.take().size(), acts ? 2u : 0u);            // press and release
        EXPECT_EQ(dispatcher.phones().count(from), acts ? 1u : 0u);  // not even a sign of life
        EXPECT_EQ(take(), acts ? "paint, state" : "");
    }
}

TEST_F(DispatcherTest, ReportsStateWithTheDragFlagAndTheLastByeLetsGo) {
    hello("a");
    EXPECT_EQ(take(), "state, paint");
    const auto run = [this](std::initializer_list<const char*> commands) {
        for (const char* what : commands) {
            cmd({{"from", "a"}, {"do", what}, {"t", "x"}, {"k", "a"}, {"on", true}, {"n", 1}});
        }
        return take();
    };
    EXPECT_EQ(run({"move", "rclick", "scroll", "text", "key", "Sync", ""}), "");
    EXPECT_EQ(run({"sync", "screen", "ack", "click", "down", "up", "down", "click", "down"}),
              "state, start [0.0,0.0,0.0,0.0], ack 1, state, state drag, state, state drag, state, "
              "state drag");
    hello("b");
    bye("c");
    bye("a");
    EXPECT_EQ(take(), "state drag, paint, paint, paint");
    EXPECT_TRUE(input.dragging());  // while a phone is left
    bye("b");
    bye("b");
    EXPECT_EQ(take(), "stop, paint, stop, paint");
    EXPECT_FALSE(input.dragging());

    const std::string id = dispatcher.hostId();
    EXPECT_EQ(id.size(), 8u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    dispatcher.sendState();
    EXPECT_EQ(
        state,
        (Payload{
            {"kind", "host"}, {"from", id}, {"name", "Desk"}, {"drag", false}, {"os", "linux"}}));
    dispatcher.screenError = "No screen";
    dispatcher.sendState();
    EXPECT_EQ(state["screenError"], "No screen");
    dispatcher.sendFarewell();
    EXPECT_EQ(state, (Payload{{"kind", "host"}, {"from", id}, {"name", "Desk"}, {"gone", true}}));
}

TEST_F(DispatcherTest, NamesPhonesAndForgetsThoseSilentForMoreThan45Seconds) {
    dispatcher.onMessage("hello", {{"from", "a"}, {"device", ""}});
    dispatcher.onMessage("hello", {{"from", ""}, {"device", "Pad"}});
    cmd({{"from", "b"}, {"device", 5}});
    cmd({{"from", "b"}, {"device", "Later"}});  // a known phone keeps its name
    const auto& phones = dispatcher.phones();
    ASSERT_EQ(phones.size(), 2u);
    EXPECT_EQ(phones.at("a").device + phones.at("b").device, "PhonePhone");
    dispatcher.onMessage("hello", {{"from", "b"}, {"device", "Tablet"}});
    EXPECT_EQ(phones.at("b").device, "Tablet");

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
    dispatcher.expire();  // a stream started without a "from" stops too
    EXPECT_EQ(take(), "stop, stop");
}

TEST_F(DispatcherTest, FirstHelloHidesTheAutomaticPairingWindowOnceThePhoneStays) {
    dispatcher.pairingShown = true;
    hello("a");
    EXPECT_FALSE(dispatcher.pairingShown);
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
    dispatcher.pairingShown = true;
    cmd({{"from", "a"}, {"do", "move"}});  // a first command arms nothing, nor does a later hello
    hello("b");
    auto gone = std::make_unique<Dispatcher>(loop, input, "Desk");
    gone->hidePairingWindow = [this] { log("hide"); };
    gone->pairingShown = true;
    gone->onMessage("hello", {{"from", "a"}});
    gone.reset();
    loop.advance(5);
    EXPECT_TRUE(dispatcher.pairingShown);
    EXPECT_EQ(calls.find("hide"), std::string::npos);
}

// Each key has one JSON type; a value of another type reads as absent.
TEST_F(DispatcherTest, ReadsEachValueAsItsOwnTypeWithinBounds) {
    std::string accented;
    for (int i = 0; i < 4000; ++i) accented += "e\u0301";  // two code points, one character
    for (const auto& [t, events] : {std::pair<Payload, size_t>{accented, 8000},  // down and up
                                    {accented + "x", 0},
                                    {std::string(10'000'000, 'x'), 0},
                                    {"", 0},
                                    {Payload::array({"x"}), 0}}) {
        cmd({{"do", "text"}, {"t", t}});
        EXPECT_EQ(devices.take().size(), events) << t.dump().size();
    }
    for (double n : {7.9, -7.9, 0x1p63, -1e308, -0x1p63}) cmd({{"do", "ack"}, {"n", n}});
    EXPECT_EQ(take(), "ack 7, ack -7, ack -9223372036854775808");  // 2^63 and past: not ours
    cmd({{"do", "screen"}, {"on", true}, {"w", "390"}, {"h", 844.5}, {"zoom", -2}, {"dpr", 1e308}});
    cmd({{"do", "screen"}, {"on", "true"}, {"w", 390}});
    EXPECT_EQ(take(), "start [0.0,844.5,-2.0,1e+308], stop");
    cmd({{"do", "key"}, {"k", "c"}, {"mods", {"ctrl"}}});
    cmd({{"do", "key"}, {"k", "c"}, {"mods", {"ctrl", 1}}});  // every modifier must be a string
    EXPECT_EQ(devices.take(), (Events{Pressed{Key::C, kCtrl, true}, Pressed{Key::C, kCtrl, false},
                                      Pressed{Key::C, 0, true}, Pressed{Key::C, 0, false}}));
}

}  // namespace
}  // namespace zg::test
