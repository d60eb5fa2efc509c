#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "RelayClient.h"
#include "Spin.h"
#include "relay/EmbeddedRelay.h"

namespace zg::test {
namespace {

struct Response {
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

Response fetch(quint16 port, const QString& path) {
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(
        network.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)))));
    EXPECT_TRUE(spinUntil([&] { return reply->isFinished(); }));
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll()};
}

TEST(EmbeddedRelayTest, RunsOnItsOwnThreadUntilStoppedAndServesThePhonePageBesideTheWebSocket) {
    auto relay = std::make_unique<EmbeddedRelay>();
    ASSERT_TRUE(relay->start(QHostAddress::LocalHost, 0)) << relay->errorString().toStdString();
    const quint16 port = relay->port();
    RelayClient client(port);
    EXPECT_EQ(status(client.join("realtime:embedded")), "ok");

    const Response page = fetch(port, "/remote?k=ABCD");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
    EXPECT_TRUE(page.body.startsWith("<!doctype html>"));
    EXPECT_TRUE(page.body.contains("src=\"remote.js\""));
    EXPECT_EQ(fetch(port, "/remote.js").contentType, "text/javascript; charset=utf-8");
    EXPECT_EQ(fetch(port, RelayServer::webSocketPath).status, 426);

    EmbeddedRelay second;
    EXPECT_FALSE(second.start(QHostAddress::LocalHost, port));
    EXPECT_TRUE(second.errorString().contains(QString::number(port)));

    relay.reset();
    EXPECT_TRUE(client.waitClosed());
    EXPECT_TRUE(second.start(QHostAddress::LocalHost, port)) << second.errorString().toStdString();
}

}  // namespace
}  // namespace zg::test
