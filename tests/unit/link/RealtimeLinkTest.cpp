#include <gtest/gtest.h>

#include "FakeWebSocket.h"
#include "ManualLoop.h"
#include "link/JsonText.h"
#include "link/RealtimeLink.h"
#include "link/RelayFrames.h"

namespace zg::test {
namespace {

const std::string kName = "zephyrglint-23456789ABCDEFGH";
const std::string kTopic = "realtime:" + kName;
const Payload kEvent{{"topic", kTopic}, {"event", "broadcast"}, {"payload", Payload::object()}};

struct RealtimeLinkTest : testing::Test {
    ManualLoop loop;
    FakeWebSocketFactory sockets{loop};
    RealtimeLink link{loop, sockets.factory(), "ws://relay.test/realtime/v1/websocket"};
    std::vector<bool> ups;
    int messages = 0;

    RealtimeLinkTest() {
        link.onUp = [this](bool up) { ups.push_back(up); };
        link.onMessage = [this](std::string, Payload) { ++messages; };
    }
    FakeConnection& socket() { return sockets.last(); }
    Payload sent() { return Payload::parse(socket().sent().back()); }
    void reply(const std::string& ref, const std::string& status) {
        const Payload frame{
            {"event", "phx_reply"}, {"ref", ref}, {"payload", {{"status", status}}}};
        socket().deliver(frame.dump());
        loop.runPosted();
    }
    // Completes the handshake; returns the join frame the link answers with.
    Payload open() {
        socket().open();
        loop.runPosted();
        return sent();
    }
    void join() { reply(open()["ref"], "ok"); }
    // Breaks the connection (if still up) and measures the wait before the next socket.
    Seconds failAndWait() {
        socket().fail();
        loop.runPosted();
        const size_t before = sockets.count();
        Seconds waited = 0;
        for (; sockets.count() == before && waited < 30; waited += 0.125) loop.advance(0.125);
        return waited;
    }
};

TEST_F(RealtimeLinkTest, JoinsOnOpenNumbersEveryFrameAndARestartLeavesTheOldSocketBehind) {
    link.start(kName);
    reply("", "ok");  // no join has gone out yet, so no reply can accept it
    EXPECT_EQ(open(), joinFrame(kTopic, "1"));
    EXPECT_FALSE(link.send("state", {{"a", 1}}));  // joining is not joined
    reply("1", "ok");
    EXPECT_TRUE(link.send("state", {{"busy", true}}));
    EXPECT_EQ(sent(), broadcastFrame(kTopic, "2", "1", "state", {{"busy", true}}));
    loop.advance(25);
    EXPECT_EQ(sent(), heartbeatFrame("3"));

    FakeConnection& old = socket();
    link.start(kName);  // as after a wake from sleep: a new connection at once
    EXPECT_EQ(old.closeCode(), RealtimeLink::kCloseCode);
    old.deliver(kEvent.dump());
    old.open();
    loop.advance(25);
    EXPECT_EQ(old.sent().size(), 3u);  // no heartbeat or join for the old socket
    EXPECT_EQ(messages, 0);
    join();
    socket().deliver(kEvent.dump(), true);  // binary frames count as well
    loop.runPosted();
    EXPECT_EQ(messages, 1);
    EXPECT_EQ(ups, (std::vector<bool>{true, false, true}));
}

TEST_F(RealtimeLinkTest, BackoffDoublesToTenSecondsSurvivesStartAndResetsAtAnAcceptedJoin) {
    link.start(kName);
    EXPECT_EQ(failAndWait(), 0.5);
    EXPECT_EQ(failAndWait(), 1);
    reply(open()["ref"], "error");  // a refused join counts as a failure
    EXPECT_EQ(failAndWait(), 2);
    socket().fail();
    loop.runPosted();  // a reconnect is now due in 4 s; start connects at once instead
    link.start(kName);
    EXPECT_EQ(sockets.count(), 5u);
    for (Seconds delay : {8, 10, 10}) EXPECT_EQ(failAndWait(), delay);  // no stale 4 s reconnect
    join();
    EXPECT_EQ(failAndWait(), 0.5);
}

TEST_F(RealtimeLinkTest, WatchdogDropsAConnectionSilentForMoreThanSixtySeconds) {
    loop.advance(100);  // silence counts from the attempt, not from the link's creation
    link.start(kName);
    loop.advance(74.9);
    EXPECT_EQ(socket().sent().size(), 2u);  // heartbeats at 25 and 50 s
    EXPECT_FALSE(socket().closeCode());
    loop.advance(0.1);  // the third tick
    EXPECT_EQ(socket().closeCode(), RealtimeLink::kCloseCode);
}

// Each kind of incoming frame for a link joining topic "T" with ref "1".
TEST(RelayFrames, EachIncomingKindIsClassifiedAndTextThatIsNotUtf8IsReplacedNotThrownOn) {
    const std::pair<const char*, std::string> rows[] = {
        {R"({"topic":"x","event":"phx_reply","ref":"1","payload":{"status":"ok"}})", "up"},
        {R"({"topic":"phoenix","event":"phx_reply","ref":"2","payload":{"status":"ok"}})", ""},
        {R"({"topic":"T","event":"broadcast","payload":{"event":"cmd","payload":{"dx":3}}})",
         R"(cmd {"dx":3})"},
        {R"({"topic":"realtime:T","event":"broadcast","payload":{}})", ""},
        {R"({"topic":"T","event":"phx_error","payload":{}})", "drop"},
        {R"({"topic":"T","event":"phx_close")", ""},
    };
    const char* kinds[] = {"", "up", "drop", "", "drop"};  // in Incoming::Kind order
    for (const auto& [frame, outcome] : rows) {
        const Incoming in = classifyFrame(frame, "T", "1");
        const bool event = in.kind == Incoming::Kind::Event;
        EXPECT_EQ(event ? in.event + " " + in.payload.dump() : kinds[int(in.kind)], outcome)
            << frame;
    }
    const Payload frame = broadcastFrame(kTopic, "2", "1", "hello", {{"name", "Pixel \xff"}});
    EXPECT_EQ(encodeFrame(frame), frame.dump(-1, ' ', false, Payload::error_handler_t::replace));
}

// Checked eight bytes at a time: a byte that needs escaping is found wherever it stands.
TEST(RelayFrames, EveryByteThatNeedsEscapingIsFoundAtEveryPlaceInAWord) {
    for (int c = 0; c < 256; ++c) {
        const bool plain = c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
        for (const std::size_t at : {0, 3, 7, 8, 15, 18}) {
            std::string text(19, 'A');
            text[at] = char(c);
            EXPECT_EQ(plainJsonText(text), plain) << c << " at " << at;
        }
    }
}

TEST_F(RealtimeLinkTest, RefusesMessagesOverTheLimitUnreadAndSaysSoOnce) {
    std::vector<std::string> lines;
    link.log = [&lines](const std::string& line) { lines.push_back(line); };
    link.start(kName);
    join();
    const auto event = [](size_t bytes) {  // a broadcast of exactly `bytes`
        Payload frame = kEvent;
        frame["payload"]["pad"] = "";
        frame["payload"]["pad"] = std::string(bytes - frame.dump().size(), 'x');
        return frame.dump();
    };
    constexpr size_t kLimit = RealtimeLink::kMaxIncomingBytes;
    for (const size_t bytes : {kLimit, kLimit + 1, kLimit + 1}) socket().deliver(event(bytes));
    loop.runPosted();
    EXPECT_EQ(messages, 1);  // the one at the limit
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_TRUE(link.joined());
}

}  // namespace
}  // namespace zg::test
