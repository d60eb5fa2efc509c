#include "platform/qt/QtWebSocket.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <optional>

#include "Spin.h"

namespace zg::test {
namespace {

// A loopback server that keeps its one client and records what that client does.
struct LoopbackServer {
    LoopbackServer() {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server, &QWebSocketServer::newConnection, [this] {
            peer.reset(server.nextPendingConnection());  // not owned by the server
            QObject::connect(peer.get(), &QWebSocket::textMessageReceived,
                             [this](const QString& text) { texts.push_back(text.toStdString()); });
            QObject::connect(peer.get(), &QWebSocket::disconnected,
                             [this, peer = peer.get()] { closeCode = peer->closeCode(); });
        });
    }

    std::vector<std::string> texts;
    std::optional<int> closeCode;
    QWebSocketServer server{"relay", QWebSocketServer::NonSecureMode};
    std::unique_ptr<QWebSocket> peer;  // goes first, while what it records to is there
};

// One receive, waited for; it must not complete inside the call that asked for it.
std::optional<WebSocketMessage> receiveOne(WebSocket& socket) {
    bool done = false;
    std::optional<WebSocketMessage> result;
    socket.receive([&](std::optional<WebSocketMessage> message) {
        done = true;
        result = std::move(message);
    });
    EXPECT_FALSE(done);
    EXPECT_TRUE(spinUntil([&] { return done; }));
    return result;
}

std::unique_ptr<WebSocket> openTo(quint16 port, bool& opened) {
    auto socket = qtWebSocketFactory()("ws://127.0.0.1:" + std::to_string(port) + "/realtime");
    socket->open([&] { opened = true; });
    EXPECT_FALSE(opened);
    return socket;
}

TEST(QtWebSocket, HandsOnMessagesUpTo4MiBInOrderAndClosesWithTheCodeGiven) {
    LoopbackServer server;
    bool opened = false;
    auto socket = openTo(server.server.serverPort(), opened);
    ASSERT_TRUE(spinUntil([&] { return opened && server.peer; }));
    const QByteArray largest(4 << 20, 'x');
    server.peer->sendTextMessage("one");
    server.peer->sendBinaryMessage(largest);
    for (auto [data, binary] :
         {std::pair{std::string("one"), false}, {largest.toStdString(), true}}) {
        const auto message = receiveOne(*socket);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->data, data);
        EXPECT_EQ(message->binary, binary);
    }
    socket->sendText("hello");
    EXPECT_TRUE(spinUntil([&] { return server.texts == std::vector<std::string>{"hello"}; }));

    socket->receive([&](auto) { ADD_FAILURE() << "answered once gone"; });
    socket->close(1001);
    socket.reset();
    ASSERT_TRUE(spinUntil([&] { return server.closeCode.has_value(); }));
    EXPECT_EQ(server.closeCode, 1001);
}

TEST(QtWebSocket, ReceiveFailsWhenTheConnectionEndsOrNeverOpens) {
    for (bool oversized : {false, true}) {
        LoopbackServer server;
        bool opened = false;
        auto socket = openTo(server.server.serverPort(), opened);
        ASSERT_TRUE(spinUntil([&] { return opened && server.peer; }));
        if (oversized)  // rather than buffer it all, the socket closes
            server.peer->sendBinaryMessage(QByteArray((4 << 20) + 1, 'x'));
        else
            server.peer->close();
        EXPECT_FALSE(receiveOne(*socket));
    }
    QTcpServer closed;  // a port where nobody listens
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    bool opened = false;
    auto socket = openTo(port, opened);
    EXPECT_FALSE(receiveOne(*socket));
    EXPECT_FALSE(opened);
}

}  // namespace
}  // namespace zg::test
