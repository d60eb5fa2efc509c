#include "app/AppDelegate.h"

#include <gtest/gtest.h>

#include "FakeWebSocket.h"
#include "ManualLoop.h"
#include "MemoryStore.h"
#include "RecordingDevices.h"

namespace zg::test {
namespace {

const std::string kCode = "23456789ABCDEFGH";
const std::string kTopic = "realtime:zephyrglint-" + kCode;

// The whole agent on virtual time: fake relay sockets, a recording desktop, settings in memory.
struct Agent {
    explicit Agent(bool withDesktop = true) {
        store.settings = {{"code", kCode}, {"speed", 2.0}};
        agent = std::make_unique<AppDelegate>(
            loop, store, "http://phone.test/remote",
            Platform{.sockets = sockets.factory(),
                     .relayUrl = "ws://relay.test/realtime/v1/websocket?vsn=1.0.0",
                     .pointer = withDesktop ? &desktop : nullptr,
                     .keyboard = withDesktop ? &desktop : nullptr,
                     .hostName = "Workstation"});
        agent->launch();
    }

    void join() {
        FakeConnection& socket = sockets.last();
        socket.open();
        loop.runPosted();
        ASSERT_EQ(Payload::parse(socket.sent().back())["topic"], kTopic);
        socket.acceptJoin();
        loop.runPosted();
    }

    void phoneSays(const std::string& event, const Payload& payload) {
        sockets.last().deliver(
            Payload{{"topic", kTopic},
                    {"event", "broadcast"},
                    {"ref", nullptr},
                    {"payload", {{"type", "broadcast"}, {"event", event}, {"payload", payload}}}}
                .dump());
        loop.runPosted();
    }

    // The application events the agent has broadcast, as {event, payload}.
    std::vector<std::pair<std::string, Payload>> broadcasts() {
        std::vector<std::pair<std::string, Payload>> out;
        for (const std::string& text : sockets.last().sent()) {
            const Payload frame = Payload::parse(text);
            if (frame["event"] == "broadcast") {
                out.emplace_back(frame["payload"]["event"], frame["payload"]["payload"]);
            }
        }
        return out;
    }

    ManualLoop loop;
    MemoryStore store;
    FakeWebSocketFactory sockets{loop};
    RecordingDevices desktop;
    std::unique_ptr<AppDelegate> agent;
};

TEST(AppDelegate, ReportsItsStateOnJoiningAndDrivesTheDesktopForAPhone) {
    Agent a;
    EXPECT_EQ(a.agent->config().link(), "http://phone.test/remote?k=" + kCode);
    a.join();
    ASSERT_EQ(a.broadcasts().size(), 1u);
    const Payload state = a.broadcasts()[0].second;
    EXPECT_EQ(a.broadcasts()[0].first, "state");
    EXPECT_EQ(state["name"], "Workstation");
    EXPECT_EQ(state["from"], a.agent->dispatcher()->hostId());

    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "move"}, {"dx", 10}, {"dy", 0}});
    // The stored speed 2 and the acceleration 1.4 + 10/14 take 10 to 42 points.
    ASSERT_EQ(a.desktop.events.size(), 1u);
    EXPECT_EQ(std::get<Moved>(a.desktop.events[0]).to, (Point{42, 0}));
}

TEST(AppDelegate, HousekeepingForgetsASilentPhoneAndLetsGoOfItsButton) {
    Agent a;
    a.join();
    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "down"}});
    ASSERT_TRUE(a.desktop.pointerAt == Point{} && !a.desktop.events.empty());
    a.desktop.take();

    a.loop.advance(44);
    EXPECT_EQ(a.agent->dispatcher()->phones().size(), 1u);
    EXPECT_TRUE(a.desktop.events.empty());
    a.loop.advance(4);  // the first tick after 45 s of silence
    EXPECT_TRUE(a.agent->dispatcher()->phones().empty());
    ASSERT_EQ(a.desktop.events.size(), 1u);
    EXPECT_FALSE(std::get<Button>(a.desktop.events[0]).down);
}

TEST(AppDelegate, WithoutADesktopStillJoinsAndIgnoresCommands) {
    Agent a(false);
    a.join();
    EXPECT_TRUE(a.agent->link().joined());
    a.phoneSays("hello", {{"from", "phone-1"}});
    EXPECT_TRUE(a.broadcasts().empty());
    EXPECT_EQ(a.agent->dispatcher(), nullptr);
}

}  // namespace
}  // namespace zg::test
