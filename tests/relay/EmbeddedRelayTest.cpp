#include "RelayClient.h"
#include "relay/EmbeddedRelay.h"

namespace zg::test {
namespace {

TEST(EmbeddedRelayTest, RunsOnItsOwnThreadUntilStopped) {
    auto relay = std::make_unique<EmbeddedRelay>();
    ASSERT_TRUE(relay->start(QHostAddress::LocalHost, 0)) << relay->errorString().toStdString();
    const quint16 port = relay->port();
    RelayClient client(port);
    EXPECT_EQ(status(client.join("realtime:embedded")), "ok");

    EmbeddedRelay second;
    EXPECT_FALSE(second.start(QHostAddress::LocalHost, port));
    EXPECT_TRUE(second.errorString().contains(QString::number(port)));

    relay.reset();
    EXPECT_TRUE(client.waitClosed());
    EXPECT_TRUE(second.start(QHostAddress::LocalHost, port)) << second.errorString().toStdString();
}

}  // namespace
}  // namespace zg::test
