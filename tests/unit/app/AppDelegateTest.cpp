#include "app/AppDelegate.h"

#include <gtest/gtest.h>

#include "FakeWebSocket.h"
#include "ManualLoop.h"
#include "MemoryStore.h"
#include "RecordingDevices.h"
#include "link/RelayFrames.h"
#include "platform/x11/X11ScreenAccess.h"

namespace zg::test {
namespace {

const std::string kCode = "23456789ABCDEFGH";
using Journal = std::vector<std::string>;

// The agent's face, recording what it is told in one journal, in order.
struct RecordingFace : PairingView, StatusItem, RingView, LoginItem, Permissions {
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
    void fadeOut(Seconds) override {}
    void hideNow() override { note("ring hidden"); }
    void pulse(double, Seconds) override {}
    bool enabled() const override { return login; }
    bool setEnabled(bool on, std::string& error) override {
        note(on ? "login on" : "login off");
        if (loginFails) error = "no autostart folder";
        if (!loginFails) login = on;
        return !loginFails;
    }
    bool inputTrusted() override { return trusted; }
    std::string untrustedText() const override { return "No XTEST"; }

    void note(std::string line) { journal.push_back(std::move(line)); }
    Journal take() { return std::exchange(journal, {}); }

    Journal journal;
    std::string tooltip;
    bool login = false, loginFails = false, trusted = true;
};

struct Options {
    bool withDesktop = true;
    bool inTray = true;
    bool storedCode = true;
};

// The whole agent on virtual time: fake relay sockets, a recording desktop and face, settings
// in memory; the tray's menu is the face's `actions`, as the agent wired them.
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
                 .ring = &face,
                 .login = &face,
                 .openPermissionSettings = nullptr,
                 .terminate = [this] { face.note("terminate"); }});
        agent->log = [this](const std::string& line) { face.note("log " + line); };
        agent->launch(options.inTray);
    }

    std::string topic() const {
        return channelTopic("zephyrglint-" + store.settings["code"].get<std::string>());
    }

    void join() {
        sockets.last().open();
        loop.runPosted();
        sockets.last().acceptJoin();
        loop.runPosted();
    }

    void phoneSays(const std::string& event, Payload payload) {
        payload["from"] = "phone-1";
        sockets.last().deliver(encodeFrame(broadcastFrame(topic(), "9", "", event, payload)));
        loop.runPosted();
    }
    void phoneDoes(const std::string& what, Payload payload = Payload::object()) {
        payload["do"] = what;
        phoneSays("cmd", std::move(payload));
    }

    // The application events the agent has broadcast on its current socket.
    std::vector<Incoming> broadcasts() {
        std::vector<Incoming> out;
        for (const std::string& text : sockets.last().sent()) {
            if (Incoming in = classifyFrame(text, topic(), ""); in.kind == Incoming::Kind::Event) {
                out.push_back(std::move(in));
            }
        }
        return out;
    }

    ManualLoop loop;
    MemoryStore store;
    FakeWebSocketFactory sockets{loop};
    RecordingDevices desktop;
    RecordingFace face;
    X11ScreenAccess screenAccess;  // nothing to ask for
    std::vector<Rect> hidden;      // what the last capture was to keep out
    std::unique_ptr<AppDelegate> agent;
};

TEST(AppDelegate, ReportsItsStateOnEveryJoinAndDrivesTheDesktopAtTheStoredSpeed) {
    Agent a;
    a.join();
    ASSERT_EQ(a.broadcasts().size(), 1u);
    EXPECT_EQ(a.broadcasts()[0].event, "state");
    EXPECT_EQ(a.broadcasts()[0].payload["name"], "Workstation");

    a.phoneDoes("move", {{"dx", 10}, {"dy", 0}});
    // 10 × (1.4 + 10/14) × 2 = 42.3 points, of which 42 now.
    EXPECT_EQ(std::get<Moved>(a.desktop.take().at(0)).to, (Point{42, 0}));

    a.agent->wake();
    ASSERT_EQ(a.sockets.count(), 2u);
    a.join();
    ASSERT_EQ(a.broadcasts().size(), 1u);
    EXPECT_EQ(a.broadcasts()[0].event, "state");
}

TEST(AppDelegate, HousekeepingForgetsAPhoneSilentFor45sAndLetsGoOfItsButton) {
    Agent a;
    a.join();
    a.phoneDoes("down");
    a.desktop.take();
    a.loop.advance(44);
    EXPECT_EQ(a.agent->dispatcher()->phones().size(), 1u);
    a.loop.advance(4);  // the first tick after 45 s
    EXPECT_TRUE(a.agent->dispatcher()->phones().empty());
    ASSERT_EQ(a.desktop.events.size(), 1u);
    EXPECT_FALSE(std::get<Button>(a.desktop.events[0]).down);
}

TEST(AppDelegate, WithoutADesktopStillJoinsAndIgnoresCommands) {
    Agent a({.withDesktop = false});
    a.join();
    EXPECT_TRUE(a.agent->link().joined());
    a.phoneSays("hello", {});
    EXPECT_TRUE(a.broadcasts().empty());
}

TEST(AppDelegate, ShowsTheCodeAndTheWindowUnlessInTheTrayAndTheFirstPhoneHidesIt) {
    for (bool inTray : {false, true}) {
        SCOPED_TRACE(inTray ? "in the tray" : "with the window");
        Agent a({.inTray = inTray});
        Journal launched{"code http://phone.test/remote?k=" + kCode, "connect",
                         "status Connecting\u2026"};
        if (!inTray) launched.push_back("present");
        EXPECT_EQ(a.face.take(), launched);
        EXPECT_EQ(a.face.tooltip, "ZephyrGlint: waiting for a phone");
        a.join();
        a.face.take();
        a.phoneSays("hello", {{"device", "Pixel"}});
        EXPECT_EQ(a.face.tooltip, "ZephyrGlint: Connected: Pixel");
        a.loop.advance(1.1);
        EXPECT_EQ(a.face.take(), (Journal{"status Connected: Pixel (lit)"}));
        a.loop.advance(0.1);
        EXPECT_EQ(a.face.take(), inTray ? Journal{} : Journal{"hide"});
    }
}

TEST(AppDelegate, AFirstRunRegistersAtLoginAndAFailureOnlyReachesTheLog) {
    Agent first({.storedCode = false});
    EXPECT_EQ(first.face.journal.front(), "login on");
    EXPECT_TRUE(first.face.actions.ticks().login);

    Agent again;
    EXPECT_NE(again.face.journal.front(), "login on");
    again.face.loginFails = true;
    again.face.take();
    again.face.actions.toggleLogin();
    EXPECT_EQ(again.face.take(), (Journal{"login on", "log login item: no autostart folder"}));
    EXPECT_FALSE(again.face.actions.ticks().login);
}

TEST(AppDelegate, TheStatusLineFollowsThePermissionWithinOneTick) {
    Agent a;
    a.join();
    a.face.trusted = false;
    a.loop.advance(2);
    EXPECT_EQ(a.face.take().back(), "status No XTEST");
    a.face.trusted = true;
    a.loop.advance(2);
    EXPECT_EQ(a.face.take().back(), "status Scan with your phone's camera");
}

TEST(AppDelegate, ANewCodeLetsGoOfEverythingBeforeMovingToItsChannel) {
    Agent a;
    a.join();
    a.phoneSays("hello", {});
    a.phoneDoes("down");
    a.phoneDoes("screen", {{"on", true}});
    a.desktop.take();
    a.face.take();

    a.face.actions.newCode();
    const std::string code = a.store.settings["code"];
    EXPECT_NE(code, kCode);
    EXPECT_EQ(a.face.take(), (Journal{"code http://phone.test/remote?k=" + code,
                                      "log channel lost; reconnecting", "status Connecting\u2026",
                                      "connect", "status Connecting\u2026", "present"}));
    ASSERT_EQ(a.desktop.events.size(), 1u);
    EXPECT_FALSE(std::get<Button>(a.desktop.events[0]).down);
    EXPECT_TRUE(a.agent->dispatcher()->phones().empty());
    EXPECT_EQ(a.sockets.count(), 2u);

    a.join();  // the new code's channel, where the first phone hides the window again
    a.phoneSays("hello", {});
    a.loop.advance(1.2);
    EXPECT_EQ(a.face.take().back(), "hide");
}

TEST(AppDelegate, QuitLetsGoSaysFarewellAndEndsAFractionOfASecondLater) {
    Agent a;
    a.join();
    a.phoneDoes("down");
    a.desktop.take();
    a.face.take();

    a.face.actions.quit();
    ASSERT_EQ(a.desktop.events.size(), 1u);
    EXPECT_FALSE(std::get<Button>(a.desktop.events[0]).down);
    EXPECT_EQ(a.broadcasts().back().payload["gone"], true);
    a.face.take();
    a.loop.advance(0.29);
    EXPECT_EQ(a.face.take(), Journal{});
    a.loop.advance(0.01);
    EXPECT_EQ(a.face.take(), (Journal{"terminate"}));
}

TEST(AppDelegate, MenuSettingsTakeEffectAtOnceAndTheAgentKeepsOutOfStreamedFrames) {
    Agent a;
    a.join();
    a.face.actions.setSpeed(1.5);
    EXPECT_EQ(a.face.actions.ticks().speeds,
              (std::array<bool, 6>{false, false, false, true, false, false}));
    a.face.take();
    a.phoneDoes("move", {{"dx", 10}, {"dy", 0}});
    EXPECT_EQ(std::get<Moved>(a.desktop.take().at(0)).to, (Point{31, 0}));
    EXPECT_EQ(a.face.take().back(), "ring at -7");

    a.face.actions.toggleRing();
    EXPECT_EQ(a.face.take(), (Journal{"ring hidden"}));
    EXPECT_FALSE(a.face.actions.ticks().ring);
    a.phoneDoes("move", {{"dx", 10}, {"dy", 0}});
    EXPECT_TRUE(a.face.take().empty());

    // Streaming, the ring stays away and the pairing window is kept out of the frames.
    a.face.actions.toggleRing();
    a.phoneDoes("screen", {{"on", true}});
    a.face.take();
    a.phoneDoes("click");
    EXPECT_TRUE(a.face.take().empty());
    a.loop.advance(0.07);
    ASSERT_TRUE(a.loop.runBackground());
    EXPECT_EQ(a.hidden, (std::vector<Rect>{{500, 300, 300, 336}}));
}

TEST(AppDelegate, TheMenuLetsGoOfTheAgentWhenItEnds) {
    auto a = std::make_unique<Agent>();
    RecordingFace& face = a->face;
    a->agent.reset();
    EXPECT_FALSE(face.actions.show);
    EXPECT_FALSE(face.onStatusClick);
}

}  // namespace
}  // namespace zg::test
