#include <gtest/gtest.h>

#include "FakeWebSocket.h"
#include "ManualLoop.h"
#include "link/RealtimeLink.h"
#include "link/RelayFrames.h"

namespace zg::test {
namespace {

const std::string kUrl = "ws://relay.test/realtime/v1/websocket?vsn=1.0.0";
const std::string kName = "zephyrglint-23456789ABCDEFGH";
const std::string kTopic = "realtime:" + kName;

// A link on virtual time over fake sockets, recording what it tells the application.
struct Harness {
    Harness() {
        link.onUp = [this](bool up) { ups.push_back(up); };
        link.onMessage = [this](std::string event, Payload payload) {
            messages.emplace_back(std::move(event), std::move(payload));
        };
    }
    FakeConnection& socket() { return sockets.last(); }
    Payload lastSent(size_t i) { return Payload::parse(sockets.at(i).sent().back()); }
    void deliver(const Payload& frame) {
        socket().deliver(frame.dump());
        loop.runPosted();
    }
    // Completes the current handshake; returns the join frame the link answers with.
    Payload open() {
        socket().open();
        loop.runPosted();
        return lastSent(sockets.count() - 1);
    }
    void reply(const std::string& ref, const std::string& status) {
        deliver({{"topic", kTopic},
                 {"event", "phx_reply"},
                 {"ref", ref},
                 {"payload", {{"status", status}, {"response", Payload::object()}}}});
    }
    void join() { reply(open()["ref"].get<std::string>(), "ok"); }
    // How long the link waits, after a drop now pending, before it makes the next socket.
    Seconds waitForReconnect() {
        loop.runPosted();
        const size_t before = sockets.count();
        Seconds waited = 0;
        for (; sockets.count() == before && waited < 30; waited += 0.125) loop.advance(0.125);
        return waited;
    }
    Seconds failAndWait() {
        socket().fail();
        return waitForReconnect();
    }

    ManualLoop loop;
    FakeWebSocketFactory sockets{loop};
    RealtimeLink link{loop, sockets.factory(), kUrl};
    std::vector<bool> ups;
    std::vector<std::pair<std::string, Payload>> messages;
};

class RealtimeLinkTest : public testing::Test, public Harness {};

TEST_F(RealtimeLinkTest, JoinsOnOpenAndNumbersEveryFrameAcrossReconnects) {
    link.start(kName);
    EXPECT_EQ(socket().url(), kUrl);
    reply("", "ok");  // no join has gone out yet, so no reply can accept it
    EXPECT_FALSE(link.send("state", {{"a", 1}}));
    EXPECT_EQ(open(), Payload::parse(R"({"topic":"realtime:zephyrglint-23456789ABCDEFGH",
        "event":"phx_join","ref":"1","join_ref":"1","payload":{"config":{
        "broadcast":{"self":false,"ack":false},"presence":{"key":""},"private":false}}})"));
    EXPECT_FALSE(link.send("state", {{"a", 1}}));  // joining is not joined
    reply("1", "ok");
    EXPECT_TRUE(link.send("state", {{"busy", true}}));
    EXPECT_EQ(lastSent(0), Payload::parse(R"({"topic":"realtime:zephyrglint-23456789ABCDEFGH",
        "event":"broadcast","ref":"2","join_ref":"1",
        "payload":{"type":"broadcast","event":"state","payload":{"busy":true}}})"));
    loop.advance(25);
    EXPECT_EQ(lastSent(0),
              Payload::parse(R"({"topic":"phoenix","event":"heartbeat","payload":{},"ref":"3"})"));
    EXPECT_EQ(socket().sent().size(), 3u);

    EXPECT_EQ(failAndWait(), 0.5);
    EXPECT_EQ(open()["ref"], "4");
    reply("4", "ok");
    EXPECT_TRUE(link.send("state", {{"name", "caf\xe9"}}));
    EXPECT_EQ(lastSent(1), Payload::parse(R"({"topic":"realtime:zephyrglint-23456789ABCDEFGH",
        "event":"broadcast","ref":"5","join_ref":"4",
        "payload":{"type":"broadcast","event":"state","payload":{"name":"caf\uFFFD"}}})"));
    EXPECT_EQ(ups, (std::vector<bool>{true, false, true}));
}

TEST_F(RealtimeLinkTest, BackoffDoublesToTenSecondsAndResetsOnlyAtAnAcceptedJoin) {
    link.start(kName);
    EXPECT_EQ(failAndWait(), 0.5);
    EXPECT_EQ(failAndWait(), 1);
    reply(open()["ref"].get<std::string>(), "error");  // a refused join counts as a failure
    EXPECT_EQ(waitForReconnect(), 2);
    for (Seconds delay : {4, 8, 10, 10}) EXPECT_EQ(failAndWait(), delay);
    join();
    EXPECT_EQ(failAndWait(), 0.5);
}

TEST_F(RealtimeLinkTest, StartAfterThreeFailuresConnectsAtOnceButKeepsTheBackoff) {
    link.start(kName);
    failAndWait();
    failAndWait();
    socket().fail();
    loop.runPosted();  // a reconnect is now due in 2 s
    link.start(kName);
    EXPECT_EQ(sockets.count(), 4u);
    EXPECT_EQ(failAndWait(), 4);  // and the stale 2 s reconnect never fired
}

TEST_F(RealtimeLinkTest, WatchdogDropsOnlyAConnectionSilentForMoreThanSixtySeconds) {
    loop.advance(100);  // silence counts from the attempt, not from the link's creation
    link.start(kName);
    loop.advance(74.9);
    EXPECT_EQ(socket().sent().size(), 2u);  // heartbeats at 25 and 50 s
    EXPECT_FALSE(socket().closeCode());
    loop.advance(0.1);  // the third tick
    EXPECT_EQ(socket().closeCode(), RealtimeLink::kCloseCode);

    waitForReconnect();
    // Every 300 s a tick finds exactly 60 s of silence, which is not more than the limit.
    for (int minute = 1; minute <= 10; ++minute) {
        loop.advance(60);
        deliver({{"topic", "phoenix"}, {"event", "phx_reply"}, {"ref", "x"}});
    }
    EXPECT_EQ(sockets.count(), 2u);
    EXPECT_FALSE(socket().closeCode());
}

TEST_F(RealtimeLinkTest, StartWhileJoinedReconnectsAtOnceAndIgnoresTheOldSocket) {
    link.start(kName);
    join();
    FakeConnection& old = sockets.at(0);
    link.start(kName);
    EXPECT_EQ(ups, (std::vector<bool>{true, false}));
    EXPECT_EQ(old.closeCode(), RealtimeLink::kCloseCode);
    ASSERT_EQ(sockets.count(), 2u);

    old.deliver(
        Payload{{"topic", kTopic}, {"event", "broadcast"}, {"payload", Payload::object()}}.dump());
    old.open();
    loop.advance(25);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(old.sent().size(), 1u);            // its join only: no heartbeat after the restart
    EXPECT_EQ(sockets.at(1).sent().size(), 1u);  // a heartbeat, and no join for old's opening
    EXPECT_EQ(sockets.count(), 2u);
}

TEST_F(RealtimeLinkTest, CallbacksThatRestartOrStopWinOverTheWorkTheyInterrupt) {
    int calls = 0;
    link.onMessage = [&](std::string, Payload) { ++calls == 1 ? link.start(kName) : link.stop(); };
    link.start(kName);
    join();
    const Payload event{{"topic", kTopic}, {"event", "broadcast"}, {"payload", Payload::object()}};
    deliver(event);  // restarts
    EXPECT_EQ(sockets.at(0).outstandingReceives(), 0u);
    EXPECT_EQ(socket().outstandingReceives(), 1u);
    deliver(event);  // stops
    EXPECT_EQ(socket().outstandingReceives(), 0u);
    EXPECT_EQ(socket().closeCode(), RealtimeLink::kCloseCode);
    EXPECT_EQ(ups, (std::vector<bool>{true, false}));

    // A start from onUp(false) wins over the start that took the channel down.
    link.onUp = [this](bool up) {
        if (!up) link.start("zephyrglint-OTHER");
    };
    link.start(kName);
    join();
    link.start(kName);
    ASSERT_EQ(sockets.count(), 4u);
    EXPECT_EQ(open()["topic"], "realtime:zephyrglint-OTHER");
}

TEST(RealtimeLinkLifetime, PendingWorkDoesNothingOnceTheLinkIsGone) {
    ManualLoop loop;
    FakeWebSocketFactory sockets(loop);
    for (bool reconnectPending : {false, true}) {
        auto link = std::make_unique<RealtimeLink>(loop, sockets.factory(), kUrl);
        link->start(kName);
        sockets.last().fail();
        if (reconnectPending) loop.runPosted();  // else the failure waits, posted
        link.reset();
        loop.advance(100);
    }
    EXPECT_EQ(sockets.count(), 2u);
}

// Each kind of incoming frame, as text and as binary; `T` stands for the channel topic and
// the join went out with ref "1".
TEST(RealtimeLinkFrames, EachIncomingKindLeadsToItsOutcome) {
    const std::pair<std::string, std::string> rows[] = {
        {R"({"topic":"x","event":"phx_reply","ref":"1","payload":{"status":"ok","a":1}})", "up"},
        {R"({"topic":"T","event":"phx_reply","ref":"1","payload":{"status":"error"}})", "drop"},
        {R"({"topic":"T","event":"phx_reply","ref":"1"})", "drop"},
        {R"({"topic":"T","event":"phx_reply","ref":"1","payload":{"status":true}})", "drop"},
        {R"({"topic":"phoenix","event":"phx_reply","ref":"2","payload":{"status":"ok"}})", ""},
        {R"({"topic":"T","event":"phx_reply","ref":1,"payload":{"status":"ok"}})", ""},
        {R"({"topic":"T","event":"broadcast","payload":{"type":"broadcast","event":"cmd",
            "payload":{"do":"move","dx":3}}})",
         R"(cmd {"do":"move","dx":3})"},
        {R"({"topic":"T","event":"broadcast","payload":{"payload":{"a":1}}})", R"( {"a":1})"},
        {R"({"topic":"T","event":"broadcast","payload":{"event":"hello"}})", "hello {}"},
        {R"({"topic":"T","event":"broadcast","payload":{"event":7,"payload":[1]}})", " {}"},
        {R"({"topic":"T","event":"broadcast","payload":"cmd"})", ""},
        {R"({"topic":"realtime:zephyrglint-XXXXXXXXXXXXXXXX","event":"broadcast","payload":{}})",
         ""},
        {R"({"topic":"REALTIME:zephyrglint-23456789ABCDEFGH","event":"broadcast","payload":{}})",
         ""},
        {R"({"topic":"T","event":"phx_error","payload":{}})", "drop"},
        {R"({"topic":"T","event":"phx_close","payload":{}})", "drop"},
        {R"({"topic":"realtime:other","event":"phx_close","payload":{}})", ""},
        {R"({"topic":5,"event":"broadcast","payload":{"event":"cmd"}})", ""},
        {R"(["T","broadcast"])", ""},
        {R"({"topic":"T","event":"phx_close")", ""},
        {"\xff\xfe{}", ""},
    };
    for (const auto& [row, outcome] : rows) {
        std::string frame = row;
        for (size_t at; (at = frame.find("\"T\"")) != std::string::npos;)
            frame.replace(at, 3, "\"" + kTopic + "\"");
        for (bool binary : {false, true}) {
            SCOPED_TRACE(frame + (binary ? " (binary)" : " (text)"));
            Harness h;
            h.link.start(kName);
            h.open();
            binary ? h.socket().deliverBinary(frame) : h.socket().deliver(frame);
            h.loop.runPosted();
            std::string seen = h.ups.empty() ? "" : "up";
            if (h.socket().closeCode()) seen += "drop";
            for (const auto& [event, payload] : h.messages) seen += event + " " + payload.dump();
            EXPECT_EQ(seen, outcome);
            EXPECT_EQ(h.socket().outstandingReceives(), outcome == "drop" ? 0u : 1u);
        }
    }
}

// Outgoing frames are compact JSON exactly as the JSON library writes it, long plain strings
// (a picture's Base64) included, and text that is not UTF-8 is replaced rather than thrown on.
TEST(RealtimeLinkFrames, AreEncodedExactlyAsTheJsonLibraryWritesThem) {
    const Payload frames[] = {
        broadcastFrame(kTopic, "2", "1", "frame",
                       {{"n", 7}, {"z", 1.25}, {"img", std::string(150000, 'A') + "+/="}}),
        Payload{{"quote \" and \\", "tab\t, newline\n, \x01 and \x7f"},
                {"utf8", "žluťoučký 🐎"},
                {"list", {1, -2.5, 1e300, true, nullptr, Payload::object(), Payload::array()}},
                {"nested", {{"b", {{"c", "d"}}}, {"a", "sorted first"}}}},
        Payload{{"broken", "ok \xff\xfe end"}},
    };
    for (const Payload& frame : frames) {
        EXPECT_EQ(encodeFrame(frame),
                  frame.dump(-1, ' ', false, Payload::error_handler_t::replace));
    }
}

}  // namespace
}  // namespace zg::test
