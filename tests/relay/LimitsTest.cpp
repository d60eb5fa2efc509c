#include "RelayClient.h"
#include "Spin.h"
#include "relay/TokenBucket.h"

namespace zg::test {
namespace {

using namespace std::chrono_literals;

const QString topic = "realtime:zephyrglint-limits";

TEST_F(RelayTest, ChannelsPerConnectionAreLimited) {
    start({.maxChannelsPerConnection = 2});
    auto client = connect();
    EXPECT_EQ(status(client->join(topic + "1")), "ok");
    EXPECT_EQ(status(client->join(topic + "2")), "ok");
    EXPECT_EQ(reason(client->join(topic + "3")), "too many channels: 2 per connection");
    EXPECT_EQ(status(client->join(topic + "1")), "ok");  // a rejoin takes no new place
    EXPECT_EQ(status(client->request(topic + "2", "phx_leave", {})), "ok");
    EXPECT_EQ(status(client->join(topic + "3")), "ok");
}

TEST_F(RelayTest, ConnectionsAreLimitedAndTheirPlacesFreed) {
    start({.maxConnections = 2});
    auto first = connect(), second = connect();
    // Qt's own client reports 1013 as a protocol error, hence the raw one.
    EXPECT_EQ(RawClient(server_->serverPort()).closeCode(), 1013);
    first.reset();
    EXPECT_TRUE(spinUntil([&] {
        RelayClient next(server_->serverPort());
        return next.isOpen() && (next.sync(), next.isOpen());
    }));
}

TEST_F(RelayTest, OverTheRateFramesGetErrorsAndAFloodIsClosed) {
    start({.messagesPerSecond = 5, .messageBurst = 10});
    auto client = connect(), flooder = connect();
    for (int i = 0; i < 14; ++i)
        client->send({{"topic", "phoenix"},
                      {"event", "heartbeat"},
                      {"payload", QJsonObject()},
                      {"ref", "1"}});
    EXPECT_TRUE(spinUntil([&] { return client->count("phx_reply") == 14; }));
    const int refused = std::count_if(client->received().cbegin(), client->received().cend(),
                                      [](auto& f) { return reason(f) == "rate limit exceeded"; });
    EXPECT_GE(refused, 1);
    EXPECT_LE(refused, 4);
    EXPECT_TRUE(client->isOpen());

    for (int i = 0; i < 100; ++i) flooder->sendRaw("{}");
    EXPECT_TRUE(flooder->waitClosed());
    EXPECT_EQ(flooder->closeCode(), QWebSocketProtocol::CloseCodePolicyViolated);
}

TEST_F(RelayTest, SlowReceiverIsCutOffWithoutHoldingUpOthers) {
    start({.messagesPerSecond = 1e6, .messageBurst = 1e6, .maxBacklogBytes = 1 << 20});
    auto sender = connect(), fast = connect();
    sender->join(topic);
    fast->join(topic);

    // A receiver that joins and then stops reading.
    RawClient slow(server_->serverPort());
    slow.sendText(R"({"topic":")" + topic.toUtf8() +
                  R"(","event":"phx_join","payload":{},"ref":"1"})");
    ASSERT_TRUE(spinUntil([&] { return slow.socket.readAll().contains("phx_reply"); }));
    slow.socket.setReadBufferSize(1);

    const int messages = 200;
    const QByteArray text(100'000, 'x');
    for (int i = 0; i < messages; ++i) sender->broadcast(topic, "cmd", {{"t", QString(text)}});
    EXPECT_TRUE(spinUntil([&] { return fast->count("broadcast") == messages; }, 20));

    // Reading again, the slow one finds its stream cut short.
    slow.socket.setReadBufferSize(0);
    qint64 read = 0;
    EXPECT_TRUE(spinUntil([&] {
        read += slow.socket.readAll().size();
        return slow.socket.state() == QAbstractSocket::UnconnectedState;
    }));
    EXPECT_LT(read, messages * text.size() / 2);
}

TEST_F(RelayTest, AnOversizedMessageClosesOnlyItsSender) {
    start({.maxMessageBytes = 1000});
    auto sender = connect(), other = connect();
    sender->join(topic);
    other->join(topic);
    sender->broadcast(topic, "cmd", {{"t", QString(1000, 'x')}});
    EXPECT_TRUE(sender->waitClosed());
    EXPECT_EQ(sender->closeCode(), QWebSocketProtocol::CloseCodeTooMuchData);
    other->sync();
    EXPECT_TRUE(other->isOpen());
    EXPECT_EQ(other->count("broadcast"), 0);
}

TEST_F(RelayTest, SilentConnectionsAreClosed) {
    // By default only after two heartbeats of the clients (25 s each) have been missed.
    EXPECT_GE(RelayLimits{}.idleTimeout, 2 * 25s);
    start({.idleTimeout = 100ms});
    auto client = connect();
    EXPECT_TRUE(client->waitClosed());
    EXPECT_EQ(client->closeCode(), QWebSocketProtocol::CloseCodePolicyViolated);
}

TEST(TokenBucketTest, GivesTheBurstThenRefillsAtTheRateUpToTheBurst) {
    using relay::TokenBucket;
    const TokenBucket::Clock::time_point start{};
    TokenBucket bucket(200, 400, start);
    const auto takeAll = [&](TokenBucket::Clock::time_point now) {
        int taken = 0;
        while (bucket.take(now)) ++taken;
        return taken;
    };
    EXPECT_EQ(takeAll(start), 400);
    EXPECT_EQ(takeAll(start + 100ms), 20);
    EXPECT_EQ(takeAll(start + 10s), 400);
}

}  // namespace
}  // namespace zg::test
