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

std::unique_ptr<WebSocket> openTo(LoopbackServer& server) {
    auto socket = qtWebSocketFactory()(
        "ws://127.0.0.1:" + std::to_string(server.server.serverPort()) + "/realtime");
    bool opened = false;
    socket->open([&] { opened = true; });
    EXPECT_FALSE(opened);
    EXPECT_TRUE(spinUntil([&] { return opened && server.peer; }));
    return socket;
}

TEST(QtWebSocket, HandsOnMessagesUpTo4MiBInOrderAndClosesWithTheCodeGiven) {
    LoopbackServer server;
    auto socket = openTo(server);
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

    // The socket may go at once, leaving its receive unanswered.
    bool called = false;
    socket->receive([&](auto) { called = true; });
    socket->close(1001);
    socket.reset();
    ASSERT_TRUE(spinUntil([&] { return server.closeCode.has_value(); }));
    EXPECT_EQ(server.closeCode, 1001);
    EXPECT_FALSE(called);
}

TEST(QtWebSocket, ReceiveFailsWhenTheConnectionEndsOrNeverOpens) {
    for (bool oversized : {false, true}) {
        LoopbackServer server;
        auto socket = openTo(server);
        if (oversized)  // rather than buffer it all, the socket closes
            server.peer->sendBinaryMessage(QByteArray((4 << 20) + 1, 'x'));
        else
            server.peer->close();
        EXPECT_FALSE(receiveOne(*socket));
    }
    QTcpServer refuser;  // answers with an HTTP error: no WebSocket opens
    ASSERT_TRUE(refuser.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&refuser, &QTcpServer::newConnection, [&] {
        refuser.nextPendingConnection()->write(
            "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    });
    auto socket =
        qtWebSocketFactory()("ws://127.0.0.1:" + std::to_string(refuser.serverPort()) + "/");
    bool opened = false;
    socket->open([&] { opened = true; });
    EXPECT_FALSE(receiveOne(*socket));
    EXPECT_FALSE(opened);
}

}  // namespace
}  // namespace zg::test
