#include <QJsonDocument>
#include <QProcess>

#include "RelayClient.h"
#include "Spin.h"
#include "link/RelayFrames.h"
#include "relay/EmbeddedRelay.h"
#include "relay/ListenAddress.h"

namespace zg::test {
namespace {

// The frames a local socket has received, in order; nothing once it has failed.
struct Heard {
    std::vector<QJsonObject> frames;
    bool failed = false;

    void listen(WebSocket& socket) {
        socket.receive([this, &socket](std::optional<WebSocketMessage> message) {
            if (!message) {
                failed = true;
                return;
            }
            frames.push_back(
                QJsonDocument::fromJson(QByteArray::fromStdString(message->data)).object());
            listen(socket);
        });
    }
};

TEST(EmbeddedRelay, RunsOnItsOwnThreadUntilStoppedAndThenFreesItsPort) {
    auto relay = std::make_unique<EmbeddedRelay>();
    std::string error;
    ASSERT_TRUE(relay->start(QHostAddress::LocalHost, 0, error)) << error;
    const quint16 port = relay->port();
    RelayClient client(port);
    EXPECT_EQ(status(client.join("realtime:embedded")), "ok");

    EmbeddedRelay second;
    EXPECT_FALSE(second.start(QHostAddress::LocalHost, port, error));
    EXPECT_NE(error.find("cannot listen"), std::string::npos) << error;
    relay.reset();
    EXPECT_TRUE(client.waitClosed());
    EXPECT_TRUE(second.start(QHostAddress::LocalHost, port, error)) << error;
}

TEST(EmbeddedRelay, ItsOwnAgentMeetsPhonesInProcessUntilTheRelayStops) {
    auto relay = std::make_unique<EmbeddedRelay>();
    std::string error;
    ASSERT_TRUE(relay->start(QHostAddress::LocalHost, 0, error)) << error;
    const std::string topic = "realtime:zephyrglint-ABCDEFGHJKMNPQRS";
    RelayClient phone(relay->port());
    phone.join(QString::fromStdString(topic));

    const std::unique_ptr<WebSocket> agent = relay->connectLocally();
    ASSERT_TRUE(agent);
    bool open = false;
    agent->open([&open] { open = true; });
    Heard heard;
    heard.listen(*agent);
    ASSERT_TRUE(spinUntil([&] { return open; }));
    agent->sendText(encodeFrame(joinFrame(topic, "1")));
    ASSERT_TRUE(spinUntil([&] { return !heard.frames.empty(); }));
    EXPECT_EQ(heard.frames[0]["payload"].toObject()["status"], "ok");

    agent->sendText(encodeFrame(broadcastFrame(topic, "2", "1", "state", {{"from", "host"}})));
    EXPECT_EQ(phone.waitFor([](auto& f) { return f["event"] == "broadcast"; })["payload"]
                  .toObject()["payload"],
              (QJsonObject{{"from", "host"}}));
    phone.broadcast(QString::fromStdString(topic), "cmd", {{"do", "ack"}});
    ASSERT_TRUE(spinUntil([&] { return heard.frames.size() == 2; }));
    EXPECT_EQ(heard.frames[1]["payload"].toObject()["payload"], (QJsonObject{{"do", "ack"}}));

    relay.reset();
    EXPECT_TRUE(spinUntil([&] { return heard.failed; }));
}

TEST(ListenAddress, AcceptsIpLiteralsAndEveryInterfaceAndRefusesTheRestWithAReason) {
    // An empty reason: accepted, and formatted back as written.
    const std::tuple<const char*, ListenAddress, const char*> cases[] = {
        {"0.0.0.0:8787", {"0.0.0.0", 8787}, ""},
        {":9000", {"", 9000}, ""},
        {"[::1]:0", {"::1", 0}, ""},
        {"[fe80::1%eth0]:80", {"fe80::1%eth0", 80}, ""},
        {"8787", {}, "has no port"},
        {"1.2.3.4:+80", {}, "port must be"},
        {"256.0.0.1:80", {}, "not an IP address"},
        {"example.com:80", {}, "host name"},
        {"::1:80", {}, "needs brackets"},
        {"[::1]80", {}, "\":PORT\""},
        {"[1::2::3]:80", {}, "not an IPv6"},
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

TEST(RelayExecutable, ExitsWith2OnABadCommandLine) {
    QProcess bad;
    bad.start(ZG_RELAY_BINARY, {"--listen", "::1:80"});
    ASSERT_TRUE(bad.waitForFinished(10'000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().startsWith("zephyrglint-relay: "));
}

}  // namespace
}  // namespace zg::test
