#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <string>
#include <vector>

#include "RelayClient.h"
#include "Spin.h"
#include "link/RealtimeLink.h"
#include "platform/qt/QtLoop.h"
#include "platform/qt/QtWebSocket.h"

namespace zg::test {
namespace {

const std::string kChannel = "zephyrglint-23456789ABCDEFGH";
const QString kTopic = QString::fromStdString("realtime:" + kChannel);

// A phone: a bare channel member that does not hear its own broadcasts.
std::unique_ptr<RelayClient> joinedPhone(quint16 port) {
    auto phone = std::make_unique<RelayClient>(port);
    EXPECT_EQ(status(phone->join(kTopic, {{"self", false}})), "ok");
    return phone;
}

void broadcast(RelayClient& from, const QString& event, const QJsonObject& payload) {
    from.send(
        {{"topic", kTopic},
         {"event", "broadcast"},
         {"ref", "9"},
         {"payload", QJsonObject{{"type", "broadcast"}, {"event", event}, {"payload", payload}}}});
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The standalone relay binary on a loopback port, killed and restarted at will.
class RelayProcess {
public:
    RelayProcess() : port_(freePort()) { start(); }
    ~RelayProcess() { kill(); }

    void start() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(ZG_RELAY_BINARY, {"--listen", QString("127.0.0.1:%1").arg(port_)});
        ASSERT_TRUE(spinUntil([this] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port_);
            return probe.waitForConnected(100);
        })) << "relay did not start listening";
    }
    void kill() {
        process_.kill();
        process_.waitForFinished();
    }
    quint16 port() const { return port_; }
    QString url() const {
        return QString("ws://127.0.0.1:%1/realtime/v1/websocket?vsn=1.0.0").arg(port_);
    }

private:
    quint16 port_;
    QProcess process_;
};

struct LinkOnRelay : ::testing::Test {
    RelayProcess relay;
    QtLoop loop;
    std::vector<Seconds> attempts;  // when the link made each new socket
    std::vector<nlohmann::json> received;
    std::vector<std::pair<bool, Seconds>> ups;
    RealtimeLink link{loop,
                      [this](const std::string& url) {
                          attempts.push_back(loop.now());
                          return qtWebSocketFactory()(url);
                      },
                      relay.url().toStdString()};

    void SetUp() override {
        link.onMessage = [this](std::string event, Payload payload) {
            received.push_back({{"event", event}, {"payload", payload}});
        };
        link.onUp = [this](bool up) { ups.emplace_back(up, loop.now()); };
        link.start(kChannel);
        ASSERT_TRUE(spinUntil([this] { return link.joined(); }));
    }
};

TEST_F(LinkOnRelay, ExchangesBroadcastsWithAnotherMemberBothWays) {
    auto phone = joinedPhone(relay.port());

    broadcast(*phone, "hello", {{"from", "phone-1"}, {"device", "Pixel"}});
    ASSERT_TRUE(spinUntil([this] { return !received.empty(); }));
    EXPECT_EQ(received[0]["event"], "hello");
    EXPECT_EQ(received[0]["payload"]["device"], "Pixel");

    EXPECT_TRUE(link.send("state", {{"from", "0badf00d"}}));
    const QJsonObject state =
        phone->waitFor([](const QJsonObject& frame) { return frame["event"] == "broadcast"; });
    EXPECT_EQ(state["payload"]["event"], "state");
    EXPECT_EQ(state["payload"]["payload"]["from"], "0badf00d");
}

TEST_F(LinkOnRelay, RejoinsWithGrowingDelaysWhenTheRelayComesBack) {
    relay.kill();
    ASSERT_TRUE(spinUntil([this] { return !link.joined(); }));
    const Seconds lostAt = ups.back().second;
    // Reconnects at +0.5 s, then +1 s: both refused while the relay is down.
    ASSERT_TRUE(spinUntil([this] { return attempts.size() == 3; }, 10));
    relay.start();
    ASSERT_TRUE(spinUntil([this] { return link.joined(); }, 10));

    ASSERT_EQ(attempts.size(), 4u) << "the third reconnect, 2 s later, reaches the relay";
    const std::vector<Seconds> waits = {attempts[1] - lostAt, attempts[2] - attempts[1],
                                        attempts[3] - attempts[2]};
    const std::vector<Seconds> backoff = {0.5, 1, 2};
    for (size_t i = 0; i < waits.size(); ++i) {
        EXPECT_GE(waits[i], backoff[i]) << "wait " << i;
        EXPECT_LT(waits[i], backoff[i] + 1.0) << "wait " << i;
    }
}

TEST_F(LinkOnRelay, AnOversizedMessageIsRefusedWithoutHarmingTheOtherMembers) {
    auto phone = joinedPhone(relay.port());
    auto flooder = joinedPhone(relay.port());

    flooder->sendRaw(QByteArray(2 * 1024 * 1024, 'x'));
    ASSERT_TRUE(flooder->waitClosed());
    EXPECT_EQ(flooder->closeCode(), 1009);

    broadcast(*phone, "cmd", {{"do", "click"}});
    ASSERT_TRUE(spinUntil([this] { return !received.empty(); }));
    EXPECT_EQ(received[0]["payload"]["do"], "click");
    EXPECT_TRUE(link.joined());
    EXPECT_EQ(ups.size(), 1u) << "the link never lost its channel";
}

}  // namespace
}  // namespace zg::test
