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
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QWebSocket::textMessageReceived,
                             [this](const QString& text) { texts.push_back(text.toStdString()); });
            QObject::connect(peer, &QWebSocket::disconnected,
                             [this] { closeCode = peer->closeCode(); });
        });
    }
    ~LoopbackServer() {
        if (!peer) return;
        peer->disconnect();
        delete peer;  // the server does not own its connections
    }
    std::string url() const {
        return "ws://127.0.0.1:" + std::to_string(server.serverPort()) + "/realtime/v1/websocket";
    }

    QWebSocketServer server{"relay", QWebSocketServer::NonSecureMode};
    QWebSocket* peer = nullptr;
    std::vector<std::string> texts;
    std::optional<int> closeCode;
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
    auto socket = qtWebSocketFactory()(server.url());
    bool opened = false;
    socket->open([&] { opened = true; });
    EXPECT_FALSE(opened);
    EXPECT_TRUE(spinUntil([&] { return opened && server.peer; }));
    return socket;
}

TEST(QtWebSocket, HandsOutTextAndBinaryMessagesInOrderOnePerReceiveAndClosesWithItsCode) {
    LoopbackServer server;
    auto socket = openTo(server);
    server.peer->sendTextMessage("one");
    server.peer->sendBinaryMessage("two");
    server.peer->sendTextMessage("three");
    ASSERT_TRUE(spinUntil([&] { return server.peer->bytesToWrite() == 0; }));

    for (auto [data, binary] : {std::pair{"one", false}, {"two", true}, {"three", false}}) {
        const auto message = receiveOne(*socket);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->data, data);
        EXPECT_EQ(message->binary, binary);
    }
    socket->sendText("hello");
    EXPECT_TRUE(spinUntil([&] { return server.texts == std::vector<std::string>{"hello"}; }));

    // Closing sends the code, and the socket may go at once, leaving its receive unanswered.
    bool called = false;
    socket->receive([&](auto) { called = true; });
    socket->close(1001);
    socket.reset();
    ASSERT_TRUE(spinUntil([&] { return server.closeCode.has_value(); }));
    EXPECT_EQ(server.closeCode, 1001);
    EXPECT_FALSE(called);
}

TEST(QtWebSocket, ServerCloseOrAnOversizedMessageFailsThePendingReceive) {
    for (bool oversized : {false, true}) {
        LoopbackServer server;
        auto socket = openTo(server);
        if (oversized)  // past the size limit the socket closes rather than buffer it all
            server.peer->sendBinaryMessage(QByteArray(5 << 20, 'x'));
        else
            server.peer->close();
        EXPECT_FALSE(receiveOne(*socket));
    }
}

TEST(QtWebSocket, RefusedFailedOrUnusableConnectionFailsTheReceive) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const std::string closedPort = std::to_string(closed.serverPort());
    closed.close();
    // Answers with an HTTP error and keeps the connection: neither a WebSocket nor TLS.
    QTcpServer refuser;
    ASSERT_TRUE(refuser.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&refuser, &QTcpServer::newConnection, [&] {
        refuser.nextPendingConnection()->write(
            "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    });
    const std::string refuserAt = "127.0.0.1:" + std::to_string(refuser.serverPort()) + "/";
    for (const std::string& url : {"ws://127.0.0.1:" + closedPort + "/", "ws://" + refuserAt,
                                   "wss://" + refuserAt, "http://" + refuserAt}) {
        SCOPED_TRACE(url);
        auto socket = qtWebSocketFactory()(url);
        bool opened = false;
        socket->open([&] { opened = true; });
        EXPECT_FALSE(receiveOne(*socket));
        EXPECT_FALSE(opened);
    }
}

}  // namespace
}  // namespace zg::test
