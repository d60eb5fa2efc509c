#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "RelayClient.h"
#include "Spin.h"

namespace zg::test {
namespace {

struct Response {
    int status = 0;
    QByteArray contentType;
    QByteArray body;
};

Response fetch(quint16 port, const QString& path, const QByteArray& method = "GET") {
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(network.sendCustomRequest(
        QNetworkRequest(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path))), method));
    EXPECT_TRUE(spinUntil([&] { return reply->isFinished(); }));
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
            reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll()};
}

TEST_F(RelayTest, ServesThePhonePageBesideTheWebSocket) {
    start();
    const Response page = fetch(server_->serverPort(), "/remote?k=ABCD");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
    EXPECT_TRUE(page.body.startsWith("<!doctype html>"));
    EXPECT_TRUE(page.body.contains("get(\"k\")"));

    EXPECT_EQ(fetch(server_->serverPort(), RelayServer::webSocketPath).status, 426);
    EXPECT_EQ(fetch(server_->serverPort(), "/remote", "POST").status, 405);
    EXPECT_EQ(fetch(server_->serverPort(), "/remote.html").status, 404);
}

}  // namespace
}  // namespace zg::test
