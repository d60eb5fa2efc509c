#include <QJsonArray>
#include <QTcpSocket>

#include "RelayClient.h"
#include "link/RelayFrames.h"
#include "relay/EmbeddedRelay.h"
#include "relay/ListenAddress.h"
#include "relay/Protocol.h"

namespace zg::test {
namespace {

using namespace std::chrono_literals;

const QString topic = "realtime:zephyrglint-ABCDEFGHJKMNPQRS";
const QJsonObject envelope{
    {"type", "broadcast"}, {"event", "cmd"}, {"payload", QJsonObject{{"do", "move"}, {"dx", 3.5}}}};

// A relay on loopback, with the limits the test asks for, and its clients.
struct RelayTest : testing::Test {
    std::unique_ptr<RelayServer> server_;
    void start(const RelayLimits& limits = {}) {
        server_ = std::make_unique<RelayServer>(limits);
        std::string error;
        ASSERT_TRUE(server_->listen(QHostAddress::LocalHost, 0, error)) << error;
    }
    std::unique_ptr<RelayClient> connect() {
        auto client = std::make_unique<RelayClient>(server_->serverPort());
        EXPECT_TRUE(client->isOpen());
        return client;
    }
};

// The relay's answer to a request it accepted, exactly as the official clients expect it.
QJsonObject okReply(const QString& topic, const QString& ref) {
    const QJsonObject ok{{"status", "ok"}, {"response", QJsonObject()}};
    return {{"topic", topic}, {"event", "phx_reply"}, {"payload", ok}, {"ref", ref}};
}

TEST_F(RelayTest, BroadcastReachesItsChannelOthersSelfAndAckAreHonouredAndLeaveEndsDelivery) {
    start();
    auto sender = connect(), other = connect(), elsewhere = connect();
    sender->join(topic, {{"self", true}, {"ack", true}});
    other->join(topic);
    elsewhere->join(topic + "X");
    EXPECT_EQ(sender->request(topic, "broadcast", envelope), okReply(topic, "2"));
    for (auto* client : {other.get(), sender.get()})  // the frame's own shape: RelayProtocol
        EXPECT_EQ(client->waitFor([](auto& f) { return f["event"] == "broadcast"; })["payload"],
                  envelope);

    EXPECT_EQ(sender->request(topic, "phx_leave", {}), okReply(topic, "3"));
    EXPECT_EQ(sender->waitFor([](auto& f) { return f["event"] == "phx_close"; })["topic"], topic);
    other->broadcast(topic, "cmd", {});  // not to itself, nor to one that left, nor elsewhere
    for (auto* client : {sender.get(), other.get(), elsewhere.get()}) client->sync();
    EXPECT_EQ(std::vector({sender->count("broadcast"), other->count("broadcast"),
                           elsewhere->count("broadcast")}),
              std::vector({1, 1, 0}));
}

TEST_F(RelayTest, RefusalsAreErrorRepliesAndMalformedMessagesAreDropped) {
    start();
    auto client = connect();
    for (const char* message : {"not json", "[1,2]", R"({"topic":"phoenix","event":"heartbeat"})"})
        client->sendRaw(message);
    const QJsonObject privately{{"private", true}};
    const std::tuple<QString, QString, QJsonObject, QString> refusals[] = {
        {topic, "broadcast", envelope, "unmatched topic"},
        {"room", "phx_join", {}, "topic must be realtime:<channel>"},
        {topic, "phx_join", {{"config", privately}}, "private channels are not supported"},
    };
    for (const auto& [topic, event, payload, why] : refusals)
        EXPECT_EQ(reason(client->request(topic, event, payload)), why);
    // JSON in a binary message counts like text.
    client->sendRaw(R"({"topic":"phoenix","event":"heartbeat","payload":{},"ref":"7"})", true);
    EXPECT_EQ(status(client->waitFor([](auto& f) { return f["ref"] == "7"; })), "ok");
    EXPECT_EQ(client->received().size(), 4);
}

TEST_F(RelayTest, ChannelsMessageSizeAndConnectionsAreLimited) {
    start({.maxMessageBytes = 1000, .maxChannelsPerConnection = 2, .maxConnections = 3});
    auto client = connect(), sender = connect(), other = connect();
    EXPECT_EQ(status(client->join(topic + "1")), "ok");
    EXPECT_EQ(status(client->join(topic + "2")), "ok");
    EXPECT_EQ(reason(client->join(topic + "3")), "too many channels: 2 per connection");
    EXPECT_EQ(status(client->join(topic + "1")), "ok");  // a rejoin takes no new place
    EXPECT_EQ(status(client->request(topic + "2", "phx_leave", {})), "ok");
    EXPECT_EQ(status(client->join(topic + "3")), "ok");

    // An oversized message closes only its sender, and frees its place.
    sender->join(topic);
    other->join(topic);
    EXPECT_TRUE(RelayClient(server_->serverPort()).waitClosed());
    sender->broadcast(topic, "cmd", {{"t", QString(1000, 'x')}});
    EXPECT_TRUE(sender->waitClosed());
    other->sync();
    EXPECT_EQ(other->count("broadcast"), 0);
    EXPECT_TRUE(spinUntil([&] {
        RelayClient next(server_->serverPort());
        return next.isOpen() && (next.sync(), next.isOpen());
    }));
}

TEST_F(RelayTest, OverTheRateFramesGetErrorsAndAFloodIsClosed) {
    start({.messagesPerSecond = 5, .messageBurst = 10});
    auto client = connect(), flooder = connect();
    for (int i = 0; i < 14; ++i)
        client->sendRaw(R"({"topic":"phoenix","event":"heartbeat","payload":{},"ref":"1"})");
    EXPECT_TRUE(spinUntil([&] { return client->count("phx_reply") == 14; }));
    const auto refused = std::ranges::count_if(
        client->received(), [](auto& f) { return reason(f) == "rate limit exceeded"; });
    EXPECT_TRUE(refused >= 1 && refused <= 4) << refused;
    EXPECT_TRUE(client->isOpen());

    for (int i = 0; i < 100; ++i) flooder->sendRaw("{}");
    EXPECT_TRUE(flooder->waitClosed());
    EXPECT_EQ(flooder->closeCode(), QWebSocketProtocol::CloseCodePolicyViolated);
}

// With the default message size limit: screen frames are 100 kB.
TEST_F(RelayTest, SlowReceiverIsCutOffWithoutHoldingUpOthers) {
    start({.messagesPerSecond = 1e6, .messageBurst = 1e6, .maxBacklogBytes = 1 << 20});
    auto sender = connect(), fast = connect(), slow = connect();
    for (auto* client : {sender.get(), fast.get(), slow.get()}) client->join(topic);
    slow->pauseReading(true);  // joined, it stops reading
    const int messages = 200;
    const QString text(100'000, 'x');
    for (int i = 0; i < messages; ++i) sender->broadcast(topic, "cmd", {{"t", text}});
    EXPECT_TRUE(spinUntil([&] { return fast->count("broadcast") == messages; }, 20));

    slow->pauseReading(false);  // reading again, it finds its stream cut short
    EXPECT_TRUE(slow->waitClosed());
    EXPECT_LT(slow->count("broadcast"), messages / 2);
}

TEST_F(RelayTest, SilentConnectionsAreClosed) {
    // By default only after two heartbeats of the clients (25 s each) have been missed.
    EXPECT_GE(RelayLimits{}.idleTimeout, 2 * 25s);
    start({.idleTimeout = 100ms});
    EXPECT_TRUE(connect()->waitClosed());
}

// A raw TCP client of the relay, from `from` (any loopback address reaches it).
struct RawClient {
    QTcpSocket socket;
    RawClient(quint16 port, const QByteArray& request, const char* from = "127.0.0.1") {
        socket.bind(QHostAddress(from));
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(2000);
        socket.write(request);
    }
    // What the relay answered by the time it closed the connection.
    QByteArray answer() {
        spinUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; });
        return socket.readAll();
    }
};

TEST_F(RelayTest, AbuseIsRefusedWhileAPhoneIsServedThroughout) {
    start({.maxSocketsPerAddress = 3, .maxRequestHeadBytes = 1024, .requestHeadTimeout = 300ms});
    auto phone = connect(), agent = connect();
    for (auto* client : {phone.get(), agent.get()}) client->join(topic);
    const QByteArray body(64 << 10, 'x');
    const std::pair<QByteArray, QByteArray> refusals[] = {
        {"POST /remote HTTP/1.1\r\nContent-Length: 1000000000\r\n\r\n" + body, "413"},
        {"POST /remote HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n10000\r\n" + body, "413"},
        {"DELETE /remote HTTP/1.1\r\n\r\n", "405"},
        {"GET /remote HTTP/1.1\r\nX-Padding: " + QByteArray(2000, 'x') + "\r\n\r\n", "431"},
        {"GET /remote HTTP/1.1\r\n", "408"},  // and nothing more
    };
    int host = 10;  // each from an address of its own: a refused client may linger a while
    for (const auto& [request, status] : refusals) {
        const QByteArray from = "127.0.0." + QByteArray::number(++host);
        RawClient abuser(server_->serverPort(), request, from.constData());
        EXPECT_TRUE(abuser.answer().startsWith("HTTP/1.1 " + status)) << request.left(40).data();
    }

    // Silent connections from one host fill only that host's share, and only for a while.
    std::vector<std::unique_ptr<RawClient>> silent;
    for (int i = 0; i < 3; ++i)
        silent.push_back(std::make_unique<RawClient>(server_->serverPort(), "", "127.0.0.2"));
    EXPECT_TRUE(
        RawClient(server_->serverPort(), "", "127.0.0.2").answer().startsWith("HTTP/1.1 503"));
    EXPECT_TRUE(connect()->isOpen());  // another host still gets in
    EXPECT_TRUE(silent.back()->answer().startsWith("HTTP/1.1 408"));

    // JSON nested past any sane depth is dropped like any malformed message.
    phone->sendRaw(QByteArray(100'000, '[') + QByteArray(100'000, ']'));

    // A page is still served, once per connection, and the phone still reaches the agent.
    const QByteArray page =
        RawClient(server_->serverPort(), "GET /remote HTTP/1.1\r\n\r\n").answer();
    EXPECT_TRUE(page.startsWith("HTTP/1.1 200")) << page.left(100).data();
    EXPECT_TRUE(page.contains("frame-ancestors 'none'"));
    phone->broadcast(topic, "cmd", {});
    EXPECT_TRUE(spinUntil([&] { return agent->count("broadcast") == 1; }));
    EXPECT_TRUE(phone->isOpen());
}

// The relay writes frames itself, for speed; what it writes must not differ by a byte.
TEST(RelayProtocol, FramesAreWrittenExactlyAsQtWritesThem) {
    const QJsonObject payload{
        {"s", QString(100'000, 'A')},
        {"quote \" backslash \\ newline \n", "\u00e9 \u2713 \x01 \x7f"},
        {"lone surrogate", QString(QChar(0xd800))},
        {"numbers", QJsonArray{3.5, 1e300, -0.0, 7}},
        {"rest", QJsonArray{true, QJsonValue(), "x", QJsonObject{}, QJsonArray{}}},
        {"", ""}};
    const QJsonObject frame{
        {"topic", topic}, {"event", "broadcast"}, {"payload", payload}, {"ref", QJsonValue()}};
    EXPECT_EQ(relay::broadcastFrame(topic, payload),
              QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact)));
}

TEST(EmbeddedRelay, ItsOwnAgentMeetsPhonesInProcessUntilTheRelayStopsAndFreesItsPort) {
    auto relay = std::make_unique<EmbeddedRelay>();
    std::string error;
    ASSERT_TRUE(relay->start(QHostAddress::LocalHost, 0, error)) << error;
    const quint16 port = relay->port();
    EmbeddedRelay second;
    EXPECT_FALSE(second.start(QHostAddress::LocalHost, port, error));
    EXPECT_NE(error.find("cannot listen"), std::string::npos) << error;
    const std::string topic = "realtime:zephyrglint-ABCDEFGHJKMNPQRS";
    RelayClient phone(port);
    phone.join(QString::fromStdString(topic));

    const std::unique_ptr<WebSocket> agent = relay->connectLocally();
    ASSERT_TRUE(agent);
    bool open = false, failed = false;
    agent->open([&open] { open = true; });
    std::vector<QJsonObject> heard;  // what the agent's end receives, until it fails
    std::function<void()> listen = [&] {
        agent->receive([&](std::optional<WebSocketMessage> message) {
            if (!message) return void(failed = true);
            heard.push_back(
                QJsonDocument::fromJson(QByteArray::fromStdString(message->data)).object());
            listen();
        });
    };
    listen();
    ASSERT_TRUE(spinUntil([&] { return open; }));
    agent->sendText(encodeFrame(joinFrame(topic, "1")));
    ASSERT_TRUE(spinUntil([&] { return !heard.empty(); }));
    EXPECT_EQ(heard[0]["payload"].toObject()["status"], "ok");

    agent->sendText(encodeFrame(broadcastFrame(topic, "2", "1", "state", {{"from", "host"}})));
    EXPECT_EQ(phone.waitFor([](auto& f) { return f["event"] == "broadcast"; })["payload"]
                  .toObject()["payload"],
              (QJsonObject{{"from", "host"}}));
    phone.broadcast(QString::fromStdString(topic), "cmd", {{"do", "ack"}});
    ASSERT_TRUE(spinUntil([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard[1]["payload"].toObject()["payload"], (QJsonObject{{"do", "ack"}}));

    relay.reset();
    EXPECT_TRUE(spinUntil([&] { return failed; }));
    EXPECT_TRUE(phone.waitClosed());
    EXPECT_TRUE(second.start(QHostAddress::LocalHost, port, error)) << error;
}

TEST(ListenAddress, AcceptsIpLiteralsAndEveryInterfaceAndRefusesTheRestWithAReason) {
    // An empty reason: accepted, and formatted back as written.
    const std::tuple<const char*, ListenAddress, const char*> cases[] = {
        {"0.0.0.0:8787", {"0.0.0.0", 8787}, ""},
        {":9000", {"", 9000}, ""},
        {"[::1]:0", {"::1", 0}, ""},
        {"[fe80::1%eth0]:80", {"fe80::1%eth0", 80}, ""},
        {"8787", {}, "has no port"},
        {"256.0.0.1:80", {}, "not an IP address"},
        {"example.com:80", {}, "host name"},
        {"::1:80", {}, "needs brackets"},
        {"[::1]80", {}, "\":PORT\""},
    };
    for (const auto& [text, expected, reason] : cases) {
        SCOPED_TRACE(text);
        std::string error;
        const std::optional<ListenAddress> parsed = parseListenAddress(text, error);
        if (*reason) {
            EXPECT_TRUE(!parsed && error.find(reason) != std::string::npos) << error;
        } else {
            EXPECT_EQ(parsed, expected) << error;
            EXPECT_EQ(formatListenAddress(expected), text);
        }
    }
    std::string error;
    EXPECT_EQ(parseListenAddress("localhost:65535", error), (ListenAddress{"127.0.0.1", 65535}));
}

}  // namespace
}  // namespace zg::test
