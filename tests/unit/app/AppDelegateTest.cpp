#include "app/AppDelegate.h"

#include <gtest/gtest.h>

#include "FakeWebSocket.h"
#include "ManualLoop.h"
#include "MemoryStore.h"
#include "RecordingDevices.h"

namespace zg::test {
namespace {

const std::string kCode = "23456789ABCDEFGH";

// The agent's face, recording what it is told in one journal, in order.
struct RecordingFace : PairingView, StatusItem, HaloView, LoginItem, Permissions {
    void showCode(const std::string& link) override { note("code " + link); }
    void setStatus(const std::string& text, bool on) override {
        note("status " + text + (on ? " (lit)" : ""));
    }
    void present() override { note("present"); }
    void hide() override { note("hide"); }
    std::optional<Rect> onScreen() const override { return Rect{500, 300, 300, 336}; }
    void setTooltip(const std::string& text) override { tooltip = text; }
    std::optional<double> flipHeight() const override { return std::nullopt; }
    void moveTo(Point origin) override { note("ring at " + std::to_string(int(origin.x))); }
    void showOpaque() override {}
    void fadeOut(Seconds) override { note("ring fades"); }
    void hideNow() override { note("ring hidden"); }
    void pulse(double, Seconds) override {}
    bool enabled() const override { return login; }
    std::optional<std::string> setEnabled(bool on) override {
        note(on ? "login on" : "login off");
        if (loginFails) return "no autostart folder";
        login = on;
        return std::nullopt;
    }
    bool inputTrusted() override { return trusted; }

    void note(std::string line) { journal.push_back(std::move(line)); }
    std::vector<std::string> take() { return std::exchange(journal, {}); }

    std::vector<std::string> journal;
    std::string tooltip;
    bool login = false, loginFails = false, trusted = true;
};

struct AlwaysAllowed : ScreenAccess {
    bool available() override { return true; }
    bool permitted() override { return true; }
    void requestPermission() override {}
};

struct Options {
    bool withDesktop = true;
    bool inTray = false;
    bool storedCode = true;
};

// The whole agent on virtual time: fake relay sockets, a recording desktop and face, settings
// in memory.
struct Agent {
    explicit Agent(Options options = {}) {
        store.settings = {{"speed", 2.0}};
        if (options.storedCode) store.settings["code"] = kCode;
        agent = std::make_unique<AppDelegate>(
            loop, store, "http://phone.test/remote",
            Platform{.sockets =
                         [this, make = sockets.factory()](const std::string& url) {
                             face.note("connect");
                             return make(url);
                         },
                     .relayUrl = "ws://relay.test/realtime/v1/websocket?vsn=1.0.0",
                     .pointer = options.withDesktop ? &desktop : nullptr,
                     .keyboard = options.withDesktop ? &desktop : nullptr,
                     .screenAccess = &screenAccess,
                     .capture =
                         [this](const CaptureRequest& request) {
                             hidden = request.hidden;
                             return std::string("picture");
                         },
                     .hostName = "Workstation",
                     .permissions = &face},
            Face{.window = &face,
                 .item = &face,
                 .halo = &face,
                 .login = &face,
                 .openPermissionSettings = nullptr,
                 .terminate = [this] { face.note("terminate"); }});
        agent->log = [this](const std::string& line) { face.note("log " + line); };
        agent->launch(options.inTray);
    }

    // The channel of the code stored now.
    std::string topic() const { return "realtime:zephyrglint-" + store.settings.value("code", ""); }

    void join() {
        FakeConnection& socket = sockets.last();
        socket.open();
        loop.runPosted();
        ASSERT_EQ(Payload::parse(socket.sent().back())["topic"], topic());
        socket.acceptJoin();
        loop.runPosted();
    }

    void phoneSays(const std::string& event, const Payload& payload) {
        sockets.last().deliver(
            Payload{{"topic", topic()},
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
    RecordingFace face;
    AlwaysAllowed screenAccess;
    std::vector<Rect> hidden;  // what the last capture was to keep out
    std::unique_ptr<AppDelegate> agent;
};

TEST(AppDelegate, ReportsItsStateOnJoiningAgainAfterWakingAndDrivesTheDesktopForAPhone) {
    Agent a;
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

    a.agent->wake();
    ASSERT_EQ(a.sockets.count(), 2u);
    a.join();
    ASSERT_EQ(a.broadcasts().size(), 1u);
    EXPECT_EQ(a.broadcasts()[0].first, "state");
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
    Agent a({.withDesktop = false});
    a.join();
    EXPECT_TRUE(a.agent->link().joined());
    a.phoneSays("hello", {{"from", "phone-1"}});
    EXPECT_TRUE(a.broadcasts().empty());
    EXPECT_EQ(a.agent->dispatcher(), nullptr);
}

using Journal = std::vector<std::string>;
const std::string kLink = "http://phone.test/remote?k=" + kCode;

TEST(AppDelegate, LaunchesWithTheCodeShownAndTheWindowUpUnlessInTheTrayAndTheFirstPhoneHidesIt) {
    for (bool inTray : {false, true}) {
        SCOPED_TRACE(inTray ? "in the tray" : "with the window");
        Agent a({.inTray = inTray});
        Journal launched{"code " + kLink, "connect", "status Connecting\u2026"};
        if (!inTray) launched.push_back("present");
        EXPECT_EQ(a.face.take(), launched);
        EXPECT_EQ(a.face.tooltip, "ZephyrGlint: waiting for a phone");
        a.join();
        a.face.take();
        a.phoneSays("hello", {{"from", "phone-1"}, {"device", "Pixel"}});
        EXPECT_EQ(a.face.tooltip, "ZephyrGlint: Connected: Pixel");
        a.loop.advance(1.1);
        EXPECT_EQ(a.face.take(), (Journal{"status Connected: Pixel (lit)"}));
        a.loop.advance(0.1);
        EXPECT_EQ(a.face.take(), inTray ? Journal{} : Journal{"hide"});
    }
}

TEST(AppDelegate, AFirstRunRegistersAtLoginAndAFailureOnlyReachesTheLog) {
    Agent first({.inTray = true, .storedCode = false});
    EXPECT_EQ(first.face.journal.front(), "login on");
    EXPECT_TRUE(first.agent->ticks().login);

    Agent again({.inTray = true});
    EXPECT_NE(again.face.journal.front(), "login on");
    again.face.loginFails = true;
    again.face.take();
    again.agent->toggleLogin();
    EXPECT_EQ(again.face.take(), (Journal{"login on", "log login item: no autostart folder"}));
    EXPECT_FALSE(again.agent->ticks().login);
}

TEST(AppDelegate, HousekeepingFollowsThePermissionWithinOneTick) {
    Agent a({.inTray = true});
    a.join();
    a.face.trusted = false;
    a.face.take();
    a.loop.advance(2);
    ASSERT_FALSE(a.face.journal.empty());
    EXPECT_EQ(a.face.take().back(), "status Allow ZephyrGlint in Accessibility settings");
    a.face.trusted = true;
    a.loop.advance(2);
    EXPECT_EQ(a.face.take().back(), "status Scan with your phone's camera");
}

TEST(AppDelegate, ANewCodeLetsGoOfEverythingBeforeMovingToItsChannel) {
    Agent a({.inTray = true});
    a.join();
    a.phoneSays("hello", {{"from", "phone-1"}});
    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "down"}});
    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "screen"}, {"on", true}});
    a.desktop.take();
    a.face.take();
    const size_t sockets = a.sockets.count();

    a.agent->newCode();
    const std::string code = a.store.settings["code"];
    EXPECT_NE(code, kCode);
    EXPECT_EQ(a.face.take(), (Journal{"code http://phone.test/remote?k=" + code,
                                      "log channel lost; reconnecting", "status Connecting\u2026",
                                      "connect", "status Connecting\u2026", "present"}));
    ASSERT_EQ(a.desktop.events.size(), 1u);
    EXPECT_FALSE(std::get<Button>(a.desktop.events[0]).down);
    EXPECT_TRUE(a.agent->dispatcher()->phones().empty());
    EXPECT_FALSE(a.agent->link().joined());
    EXPECT_EQ(a.sockets.count(), sockets + 1);

    a.join();  // the new code's channel, where the first phone hides the window again
    a.phoneSays("hello", {{"from", "phone-2"}});
    a.loop.advance(1.2);
    EXPECT_EQ(a.face.take().back(), "hide");
}

TEST(AppDelegate, QuitLetsGoSaysFarewellAndEndsAFractionOfASecondLater) {
    Agent a({.inTray = true});
    a.join();
    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "down"}});
    a.desktop.take();
    a.face.take();

    a.agent->quit();
    ASSERT_EQ(a.desktop.events.size(), 1u);
    EXPECT_FALSE(std::get<Button>(a.desktop.events[0]).down);
    EXPECT_EQ(a.broadcasts().back().second["gone"], true);
    a.face.take();
    a.loop.advance(0.29);
    EXPECT_EQ(a.face.take(), Journal{});
    a.loop.advance(0.01);
    EXPECT_EQ(a.face.take(), (Journal{"terminate"}));
}

TEST(AppDelegate, MenuSettingsTakeEffectAtOnceAndTheAgentKeepsOutOfStreamedFrames) {
    Agent a({.inTray = true});
    a.join();
    a.agent->setSpeed(1.5);
    EXPECT_EQ(a.agent->ticks().speeds,
              (std::array<bool, 6>{false, false, false, true, false, false}));
    a.face.take();
    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "move"}, {"dx", 10}, {"dy", 0}});
    // 10 × (1.4 + 10/14) × 1.5, rounded: 31.7 points, of which 31 now.
    EXPECT_EQ(std::get<Moved>(a.desktop.take().at(0)).to, (Point{31, 0}));
    EXPECT_EQ(a.face.take().back(), "ring at -7");

    a.agent->toggleRing();
    EXPECT_EQ(a.face.take(), (Journal{"ring hidden"}));
    EXPECT_FALSE(a.agent->ticks().ring);
    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "move"}, {"dx", 10}, {"dy", 0}});
    EXPECT_TRUE(a.face.take().empty());

    a.agent->toggleRing();
    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "screen"}, {"on", true}});
    a.face.take();
    a.phoneSays("cmd", {{"from", "phone-1"}, {"do", "click"}});
    EXPECT_TRUE(a.face.take().empty());
    // The pairing window stays out of the frames too.
    a.loop.advance(0.07);
    ASSERT_TRUE(a.loop.runBackground());
    EXPECT_EQ(a.hidden, (std::vector<Rect>{{500, 300, 300, 336}}));
}

}  // namespace
}  // namespace zg::test
