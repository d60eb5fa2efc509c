#include <gtest/gtest.h>

#include <tuple>

#include "FakeWebSocket.h"
#include "ManualLoop.h"
#include "MemoryStore.h"
#include "RecordingDevices.h"
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "link/RelayFrames.h"
#include "link/Seal.h"
#include "platform/x11/X11ScreenAccess.h"

namespace zg::test {
namespace {

const std::string kCode = "23456789ABCDEFGH";
const std::string kLetGo = Posted::button(MouseButton::Left, false, {}, 1);
using Journal = std::vector<std::string>;

// The agent's face, recording what it is told in one journal, in order: "status ..." for the
// status line, "lit ..." for one with the dot lit.
struct RecordingFace : PairingView, StatusItem, RingView, LoginItem, Permissions {
    Journal journal;
    std::string tooltip;
    bool login = false, trusted = true;

    void note(std::string line) { journal.push_back(std::move(line)); }
    Journal take() { return std::exchange(journal, {}); }

    void showCode(const std::string& link) override { note("code " + link); }
    void setStatus(const std::string& s, bool on) override { note((on ? "lit " : "status ") + s); }
    void present() override { note("present"); }
    void hide() override { note("hide"); }
    std::optional<Rect> onScreen() const override { return Rect{500, 300, 300, 336}; }
    void setTooltip(const std::string& text) override { tooltip = text; }
    std::optional<double> flipHeight() const override { return std::nullopt; }
    void moveTo(Point origin) override { note("ring at " + std::to_string(int(origin.x))); }
    void hideNow() override { note("ring hidden"); }
    void showOpaque() override {}
    void fadeOut(Seconds) override {}
    void pulse(double, Seconds) override {}
    bool enabled() const override { return login; }
    bool setEnabled(bool on, std::string& error) override {
        note(on ? "login on" : "login off");
        error = "no autostart folder";
        return false;
    }
    bool inputTrusted() override { return trusted; }
    std::string untrustedText() const override { return "No XTEST"; }
};

struct Options {
    bool withDesktop = true, withCapture = true, inTray = true, storedCode = true, plain = false,
         readOnly = false;
};

// The whole agent on virtual time: fake relay sockets, a recording desktop and face, settings
// in memory; the tray's menu is the face's `actions`, as the agent wired them.
struct Agent {
    explicit Agent(Options options = {}) {
        store.settings = {{"speed", 2.0}};
        if (options.storedCode) store.settings["code"] = kCode;
        if (options.readOnly) store.failure = {{"cannot write /ro/zephyrglint", "Read-only"}};
        Platform platform{.sockets = sockets.factory(),
                          .relayUrl = "ws://relay.test/realtime/v1/websocket?vsn=1.0.0",
                          .pointer = options.withDesktop ? &desktop : nullptr,
                          .keyboard = options.withDesktop ? &desktop : nullptr,
                          .screenAccess = &screenAccess,
                          .capture = [this](const CaptureRequest& r) { return capture(r); },
                          .hostName = "Workstation",
                          .permissions = &face,
                          .plainPhones = options.plain};
        if (!options.withCapture) platform.capture = nullptr;
        agent = std::make_unique<AppDelegate>(
            loop, store, "http://phone.test/remote", std::move(platform),
            Face{&face, &face, &face, &face, nullptr, [this] { face.note("terminate"); }});
        agent->log = [this](const std::string& line) { face.note("log " + line); };
        agent->launch(options.inTray);
    }

    std::string topic() const { return "realtime:zephyrglint-" + store.settings.value("code", ""); }
    void join() {
        sockets.last().open();
        loop.runPosted();
        sockets.last().acceptJoin();
        loop.runPosted();
    }
    std::string secret() const { return store.settings.value("secret", ""); }
    void deliver(const std::string& event, const Payload& payload) {
        sockets.last().deliver(encodeFrame(broadcastFrame(topic(), "9", "", event, payload)));
        loop.runPosted();
    }
    // Sealed as the page seals it, with the stored secret, for this run.
    void phoneSays(const std::string& event, Payload payload) {
        payload["from"] = "phone-1";
        const std::string key = secret();
        if (key != phoneKey) phone = Sealer(phoneKey = key, "phone-1", Sealer::Side::Phone);
        deliver(seal::kSealedEvent, phone.seal(event, payload, {}, agent->dispatcher().hostId()));
    }
    void phoneDoes(const std::string& what, Payload payload = Payload::object()) {
        payload["do"] = what;
        phoneSays("cmd", std::move(payload));
    }
    std::optional<std::string> capture(const CaptureRequest& request) {
        hidden = request.hidden;
        return picture;
    }
    // The application events the agent has broadcast on its current socket, opened as the
    // page opens them; unsealed ones as they are.
    std::vector<Unsealed> broadcasts() {
        std::vector<Unsealed> out;
        Sealer phone(secret(), "phone-1", Sealer::Side::Phone);
        std::string why;
        for (const auto& text : sockets.last().sent()) {
            const Incoming in = classifyFrame(text, topic(), "");
            if (in.kind != Incoming::Kind::Event) continue;
            const auto opened =
                in.event == seal::kSealedEvent ? phone.open(in.payload, why) : std::nullopt;
            out.push_back(opened.value_or(Unsealed{in.event, in.payload, {}}));
        }
        return out;
    }

    ManualLoop loop;
    MemoryStore store;
    FakeWebSocketFactory sockets{loop};
    RecordingDevices desktop;
    RecordingFace face;
    X11ScreenAccess screenAccess;     // nothing to ask for
    std::vector<Rect> hidden;         // what the last capture was to keep out
    std::string picture = "picture";  // what the next capture yields
    std::string phoneKey;             // the secret the phone seals with
    Sealer phone{"", "phone-1", Sealer::Side::Phone};
    std::unique_ptr<AppDelegate> agent;
};

TEST(AppDelegate, ReportsItsStateAtEachJoinAndEveryTwoSecondsForgetsPhonesSilentFor45s) {
    Agent a;
    a.join();
    EXPECT_EQ(a.broadcasts().at(0).payload["name"], "Workstation");  // once: see the rejoin
    a.phoneDoes("move", {{"dx", 10}, {"dy", 0}});  // 10 × (1.4 + 10/14) × 2 = 42.3 points
    EXPECT_EQ(a.desktop.take(), Events{Posted::move({42, 0})});
    a.loop.advance(30);
    a.phoneDoes("down");  // heard from again: forgotten 45 s from now, not from the first
    a.loop.advance(44);
    a.face.trusted = false;
    a.loop.advance(2);  // the first tick after 45 s forgets the phone, letting go of its button
    EXPECT_EQ(a.desktop.take(), (Events{Posted::button(MouseButton::Left, true, {42, 0}, 1),
                                        Posted::button(MouseButton::Left, false, {42, 0}, 1)}));
    EXPECT_EQ(a.face.take().back(), "status No XTEST");

    a.agent->wake();  // a new connection, where the state goes out again
    a.join();
    EXPECT_EQ(a.broadcasts().size(), 1u);
}

TEST(AppDelegate, WithoutADesktopOrACapturePhonesAreAnsweredAndToldWhyThereIsNoScreen) {
    using Row = std::tuple<bool, bool, const char*>;  // desktop, capture, the phone is told
    for (const auto& [desktop, capture, why] :
         {Row{false, true, "this computer has no desktop to show"},
          Row{true, false, "the screen cannot be captured here"}}) {
        SCOPED_TRACE(why);
        Agent a({.withDesktop = desktop, .withCapture = capture});
        a.join();
        a.phoneSays("hello", {});
        a.loop.advance(Dispatcher::kStateGap);
        EXPECT_EQ(a.broadcasts().size(), 2u);  // at the join, and the hello's answer
        a.phoneDoes("screen", {{"on", true}});
        EXPECT_EQ(a.broadcasts().back().payload["screenError"], why);
        for (const char* what : {"down", "click", "key"}) a.phoneDoes(what, {{"k", "a"}});
        EXPECT_EQ(a.desktop.take().size(), desktop ? 4u : 0u);
        EXPECT_EQ(std::ranges::count_if(
                      a.face.take(),
                      [](const std::string& line) {
                          return line.ends_with(
                              "input is ignored: this computer has no desktop to drive");
                      }),
                  desktop ? 0 : 1);
    }
}

TEST(AppDelegate, TextTheDesktopCannotTypeIsSaidOnceInTheLogAndToPhonesUntilATextGoesInWhole) {
    Agent a;
    a.desktop.untypable = {"\u00e9"};
    a.join();
    a.face.take();
    const auto typeError = [&a] {
        a.loop.advance(Dispatcher::kStateGap);
        const Payload state = a.broadcasts().back().payload;
        return state.value("typeError", "(none)");
    };
    a.phoneDoes("text", {{"t", "a\u00e9\u00e9"}});
    EXPECT_EQ(a.desktop.take(), (Events{Posted::text("a", true), Posted::text("a", false)}));
    EXPECT_EQ(typeError(), "could not type: \u00e9");
    a.phoneDoes("text", {{"t", "\u00e9"}});
    EXPECT_EQ(typeError(), "could not type: \u00e9");
    const Journal said = a.face.take();
    EXPECT_EQ(std::ranges::count(said,
                                 "log could not type \"\u00e9\": this desktop's keyboard "
                                 "layout has no key for it"),
              1);
    a.phoneDoes("text", {{"t", "b"}});
    EXPECT_EQ(typeError(), "(none)");
}

TEST(AppDelegate, AFirstRunRegistersAtLogin) {
    Agent first({.storedCode = false});
    EXPECT_EQ(first.face.journal.front(), "login on");

    Agent again;  // a stored code: no new registration, and a failed one only reaches the log
    EXPECT_NE(again.face.journal.front(), "login on");
    again.face.take();
    again.face.actions.toggleLogin();
    EXPECT_EQ(again.face.take(), (Journal{"login on", "log login item: no autostart folder"}));
}

TEST(AppDelegate, ShowsTheCodeAndTheWindowUnlessInTheTrayAndTheFirstPhoneHidesIt) {
    for (bool inTray : {false, true}) {
        SCOPED_TRACE(inTray ? "in the tray" : "with the window");
        Agent a({.inTray = inTray});
        Journal launched{"code " + a.agent->config().link(), "status Connecting\u2026"};
        if (!inTray) launched.push_back("present");
        EXPECT_EQ(a.face.take(), launched);
        a.join();
        a.face.take();
        a.phoneSays("hello", {{"device", "Pixel"}});
        EXPECT_EQ(a.face.tooltip, "ZephyrGlint: Connected: Pixel");
        a.loop.advance(1.1);
        EXPECT_EQ(a.face.take(), (Journal{"lit Connected: Pixel"}));
        a.loop.advance(0.1);
        EXPECT_EQ(a.face.take(), inTray ? Journal{} : Journal{"hide"});
    }
}

TEST(AppDelegate, SettingsThatCannotBeSavedAreLoggedOnceAndShownUntilAPhoneConnects) {
    Agent a({.storedCode = false, .readOnly = true});
    EXPECT_EQ(a.face.take().front(),
              "log settings are not saved (cannot write /ro/zephyrglint: Read-only): changes, "
              "and a pairing code drawn now, last only until the agent quits");
    a.join();
    a.loop.advance(2);
    EXPECT_EQ(a.face.take().back(), "status Settings not saved: Read-only");
    a.phoneSays("hello", {{"device", "Pixel"}});
    a.loop.advance(1.1);
    EXPECT_EQ(a.face.take().back(), "lit Connected: Pixel");
    a.face.actions.newCode();  // the same problem again: not logged twice
    for (const std::string& line : a.face.take()) EXPECT_FALSE(line.starts_with("log settings"));
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
    EXPECT_NE(code, kCode);  // and a new secret with it (Config's test)
    EXPECT_EQ(a.face.take(),
              (Journal{"code http://phone.test/remote?k=" + code + "#s=" + a.secret(),
                       "log channel lost; reconnecting", "status Connecting\u2026",
                       "status Connecting\u2026", "present"}));
    EXPECT_EQ(a.desktop.take(), (Events{kLetGo}));
    EXPECT_TRUE(a.agent->dispatcher().phones().empty());

    a.join();  // the new code's channel: the first phone, with the new secret, hides the window
    a.phoneSays("hello", {});
    a.loop.advance(1.2);
    EXPECT_EQ(a.face.take().back(), "hide");
}

TEST(AppDelegate, UnsealedMessagesAreRefusedAndLoggedOnceAMinuteAndPlainModeShowsInTheTooltip) {
    Agent a;
    a.join();
    std::vector<Seconds> logged;  // when a refusal reached the log
    for (Seconds pause : {0, 59, 1}) {
        a.loop.advance(pause);
        a.face.take();
        a.deliver("cmd", {{"do", "click"}, {"from", "phone-9"}});
        if (!a.face.take().empty()) logged.push_back(a.loop.now());
    }
    EXPECT_EQ(logged, (std::vector<Seconds>{0, 60}));
    EXPECT_TRUE(a.desktop.take().empty());

    Agent plain({.plain = true});
    EXPECT_EQ(plain.face.tooltip, "ZephyrGlint: waiting for a phone (the channel is not sealed)");
}

TEST(AppDelegate, QuitLetsGoSaysFarewellAndEndsAFractionOfASecondLater) {
    Agent a;
    a.join();
    a.phoneDoes("down");
    a.desktop.take();
    a.face.actions.quit();
    EXPECT_EQ(a.desktop.take(), (Events{kLetGo}));
    EXPECT_EQ(a.broadcasts().back().payload["gone"], true);
    a.phoneSays("hello", Payload::object());
    EXPECT_EQ(a.broadcasts().back().payload["gone"], true);
    a.face.take();
    a.loop.advance(0.3);
    EXPECT_EQ(a.face.take(), (Journal{"terminate"}));

    a.agent.reset();  // the menu outlives the agent and must not reach it
    EXPECT_FALSE(a.face.actions.show || a.face.onStatusClick);
}

TEST(AppDelegate, MenuSettingsTakeEffectAtOnceAndFramesGoSealedWithoutTheAgentsOwnWindows) {
    Agent a;
    a.join();
    a.face.actions.setSpeed(1.5);
    a.phoneDoes("move", {{"dx", 10}, {"dy", 0}});
    EXPECT_EQ(a.desktop.take(), (Events{Posted::move({31, 0})}));
    EXPECT_EQ(a.face.take().back(), "ring at -7");

    a.face.actions.toggleRing();
    EXPECT_EQ(a.face.take(), (Journal{"ring hidden"}));
    a.phoneDoes("move", {{"dx", 10}, {"dy", 0}});
    EXPECT_TRUE(a.face.take().empty());

    a.face.actions.toggleRing();
    a.phoneDoes("screen", {{"on", true}});  // streaming, the ring stays away, the window unseen
    a.face.take();
    a.phoneDoes("click");
    EXPECT_TRUE(a.face.take().empty());
    const auto frames = [&a] {
        a.loop.advance(ScreenStreamer::kTickInterval);
        a.loop.runBackground();
        a.loop.runPosted();
        auto all = a.broadcasts();
        std::erase_if(all, [](const Unsealed& m) { return m.event != "frame"; });
        return all;
    };
    const auto sent = frames();
    EXPECT_EQ(a.hidden, (std::vector<Rect>{{500, 300, 300, 336}}));
    ASSERT_EQ(sent.size(), 1u);  // the picture as bytes after the header
    EXPECT_EQ(sent[0].payload.dump() + sent[0].attachment, R"({"n":1,"z":1.0}picture)");
    // Bare, 150000 bytes are exactly the 200000 characters a frame may take; sealed, more.
    a.picture.assign(150000, 'x');
    a.phoneDoes("ack", {{"n", 1}});
    EXPECT_EQ(frames().size(), 1u);
}

TEST(CommandLine, ReadsValuesSeparateOrAfterAnEqualsSignAndRefusesWhatItCannotUse) {
    std::string error;
    const auto options =
        parseAgentOptions({"--listen", "127.0.0.1:9000", "--tray", "--print-qr",
                           "--relay=wss://r.test/x", "--plain", "--desktop", "portal"},
                          error);
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->tray && options->terminalCode && options->plain);
    EXPECT_EQ(options->desktop, DesktopLayer::Portal);
    EXPECT_EQ(options->listen, (ListenAddress{"127.0.0.1", 9000}));
    EXPECT_EQ(options->relayUrl, "wss://r.test/x");

    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--tary"}, "--tary"},
        {{"--listen", "localhost:99999"}, "--listen"},
        {{"--relay", "http://relay.test"}, "ws://"},
        {{"--tray=1"}, "takes no value"},
        {{"--desktop=wayland"}, "x11 or portal"}};
    for (const auto& [args, reason] : refused)  // each refusal names what it could not use
        EXPECT_TRUE(!parseAgentOptions(args, error) && error.find(reason) != std::string::npos)
            << args[0] << ": " << error;
}

// A dispatcher with a real Input on recording devices; each callback logs a line to `calls`.
struct DispatcherTest : testing::Test {
    ManualLoop loop;
    RecordingDevices devices;
    Input input{loop, devices, devices};
    Dispatcher dispatcher{loop, &input, "Desk"};
    std::string calls;  // what the callbacks did, in order: "state drag, paint"

    DispatcherTest() {
        dispatcher.send = [this](const std::string& event, Payload payload) {
            log(event + (payload.value("drag", false) ? " drag" : ""));
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

TEST_F(DispatcherTest, ReadsEachValueWithinBoundsAndActsOnlyOnCommandsForThisHostOrAny) {
    std::string accented;
    for (int i = 0; i < 4000; ++i) accented += "e\u0301";  // two code points, one character
    cmd({{"do", "text"}, {"t", accented}});
    cmd({{"do", "text"}, {"t", accented + "x"}});
    EXPECT_EQ(devices.take().size(), 8000u);  // down and up of 4000 characters, none of 4001
    for (double n : {7.9, 0x1p63}) cmd({{"do", "ack"}, {"n", n}});  // 2^63: not a frame of ours
    cmd({{"do", "screen"}, {"on", true}, {"w", "390"}, {"h", 844.5}, {"zoom", -2}, {"dpr", 3}});
    cmd({{"do", "screen"}, {"on", "true"}, {"w", 390}});
    EXPECT_EQ(take(), "ack 7, start [0.0,844.5,-2.0,3.0], stop");

    using Row = std::tuple<const char*, Payload, bool>;  // event, "to", acted on
    for (const auto& [event, to, acts] :
         {Row{"cmd", {}, true}, Row{"cmd", dispatcher.hostId(), true},
          Row{"cmd", "zzzzzzzz", false}, Row{"state", {}, false}}) {
        SCOPED_TRACE(std::string(event) + " to " + to.dump());
        dispatcher.onMessage(event, {{"to", to}, {"from", "p"}, {"do", "click"}});
        EXPECT_EQ(devices.take().size(), acts ? 2u : 0u);  // press and release
        EXPECT_EQ(dispatcher.phones().size(), acts ? 1u : 0u);
        dispatcher.forgetPhones();
    }
}

TEST_F(DispatcherTest, ReportsStateWithTheDragFlagAndTheLastByeStopsAndLeavesThePairingWindowUp) {
    dispatcher.pairingShown = true;  // the first phone hides it unless it leaves within 1.2 s
    hello("a");
    for (const char* what : {"sync", "down", "up", "down"}) cmd({{"from", "a"}, {"do", what}});
    EXPECT_EQ(take(), "state, paint, state, state drag, state, state drag");
    hello("b");
    bye("a");  // one phone is left: its view goes on, without the button "a" held
    bye("b");
    loop.advance(5);
    EXPECT_EQ(take(), "state, stop, paint");  // the answer to "b" came with the let-go
}

TEST_F(DispatcherTest, APhoneThatSaysByeOrGoesSilentLetsGoOfTheButtonItHeldWhileOthersStay) {
    for (const bool byes : {false, true}) {
        SCOPED_TRACE(byes ? "bye" : "silent");
        hello("holder");
        hello("other");
        cmd({{"from", "holder"}, {"do", "down"}});
        hello("passer");
        bye("passer");  // did not press it: the button stays down
        EXPECT_TRUE(input.dragging());
        devices.take();
        if (byes) bye("holder");
        for (int i = 0; i < 24 && !byes; ++i) {  // the other phone keeps talking for 48 s
            loop.advance(2);
            cmd({{"from", "other"}, {"do", "sync"}});
            dispatcher.expire();
            EXPECT_EQ(input.dragging(), loop.now() <= Dispatcher::kPhoneExpiry);
        }
        EXPECT_EQ(devices.take(), (Events{Posted::button(MouseButton::Left, false, {}, 1)}));
        dispatcher.forgetPhones();
    }
}

TEST_F(DispatcherTest, KeepsTheSixteenPhonesHeardFromLastAndCutsTheirNamesAtACharacter) {
    std::string accents;
    for (int i = 0; i < 70; ++i) accents += "\u00e9";
    for (int i = 0; i <= 16; ++i) {
        loop.advance(1);
        if (i == 16) cmd({{"from", "p0"}});  // heard from again: "p1" is now the oldest
        dispatcher.onMessage("hello", {{"from", "p" + std::to_string(i)}, {"device", accents}});
    }
    hello(std::string(65, 'x'));  // no phone's id
    const auto& phones = dispatcher.phones();
    EXPECT_EQ(phones.size(), 16u);
    EXPECT_TRUE(phones.contains("p0") && !phones.contains("p1") && phones.contains("p16"));
    EXPECT_EQ(phones.at("p16").device, accents.substr(0, 128));  // 64 two-byte characters
}

TEST_F(DispatcherTest, AFloodOfHellosCostsAFewStatesAndPaintsYetEachIsAnsweredSoonAfter) {
    std::vector<Seconds> hellos, states;
    int paints = 0;
    dispatcher.send = [&](const std::string&, Payload) { states.push_back(loop.now()); };
    dispatcher.paint = [&paints] { ++paints; };
    const std::string name(100000, 'n');
    for (int i = 0; i < 450; ++i) {  // in 10 s
        loop.advance(10.0 / 450);
        hellos.push_back(loop.now());
        dispatcher.onMessage("hello", {{"from", std::to_string(i)}, {"device", name}});
    }
    loop.advance(1);
    EXPECT_LE(states.size(), 42u);
    EXPECT_LE(paints, 102);
    for (const Seconds hello : hellos) {
        const auto answer = std::ranges::lower_bound(states, hello);
        ASSERT_NE(answer, states.end());
        EXPECT_LE(*answer - hello, Dispatcher::kStateGap);
    }
}

TEST_F(DispatcherTest, TellsWhatATextLeftOutInTheNextStateAndThatTheNextTextWentInWhole) {
    const std::string circled = "①②③④⑤⑥⑦⑧⑨";
    devices.untypable = {"é", "€", "①", "②", "③", "④", "⑤", "⑥", "⑦", "⑧", "⑨"};
    devices.onUntypable = [this](std::string_view c) { dispatcher.untypable(c); };
    std::optional<std::string> told;  // the typeError of the state sent, "" for none
    dispatcher.send = [&told](const std::string&, Payload payload) {
        told = payload.value("typeError", "");
    };
    const struct {
        const char* what;
        const char* sent;
        std::optional<std::string> told;  // absent: no state was sent
    } steps[] = {
        {"text", "aé€é", "could not type: é €"},
        {"key", "Backspace", std::nullopt},  // a key says nothing of the text before it
        {"key", "é", "could not type: é"},   // a key no layout names is typed as text
        {"text", "b", ""},
        {"text", "c", std::nullopt},  // nothing new to tell
        {"text", circled.c_str(), "could not type: ① ② ③ ④ ⑤ ⑥ ⑦ ⑧ …"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.sent);
        told.reset();
        loop.advance(Dispatcher::kStateGap);
        cmd({{"do", step.what}, {step.what == std::string("key") ? "k" : "t", step.sent}});
        loop.advance(Dispatcher::kStateGap);
        EXPECT_EQ(told, step.told);
    }
}

TEST_F(DispatcherTest, NamesPhonesByTheirFirstWord) {
    dispatcher.onMessage("hello", {{"from", "a"}, {"device", ""}});
    cmd({{"from", "b"}, {"device", "Pad"}});
    cmd({{"from", "b"}, {"device", "Later"}});  // a known phone keeps its name
    const auto& phones = dispatcher.phones();
    EXPECT_EQ(phones.at("a").device + phones.at("b").device, "PhonePad");
}

}  // namespace
}  // namespace zg::test
