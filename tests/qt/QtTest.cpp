#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>

#include <atomic>

#include "Processes.h"
#include "platform/qt/LogindWake.h"
#include "platform/qt/QtLoop.h"
#include "platform/qt/QtWebSocket.h"

namespace zg::test {
namespace {

TEST(QtLoop, TimersAndPostedWorkRunOnTheMainThreadInOrderNoSoonerThanAsked) {
    QtLoop loop;
    const Seconds start = loop.now();
    QElapsedTimer wall;
    wall.start();
    std::vector<Seconds> ticks;  // when each tick ran
    ScheduledHandle timer = loop.every(0.03, [&] {
        ticks.push_back(loop.now() - start);
        if (ticks.size() == 3) timer->cancel();
    });
    loop.later(0.02, [&] { ticks.push_back(-1); })->cancel();
    Seconds ranAt = -1;
    loop.after(0.15, [&] { ranAt = loop.now() - start; });
    ASSERT_TRUE(spinUntil([&] { return ranAt >= 0 && ticks.size() >= 3; }));
    EXPECT_GE(ranAt, 0.15);
    EXPECT_EQ(ticks.size(), 3u);
    EXPECT_GE(ticks.at(0), 0.03);
    EXPECT_NEAR(loop.now() - start, wall.elapsed() / 1e3, 0.05);  // the clock counts seconds

    const auto onMainThread = [] { return QThread::currentThread() == qApp->thread(); };
    std::vector<int> order;  // -1 for work run off the main thread
    std::atomic<bool> backgroundOffMain = false;
    loop.background([&] {
        backgroundOffMain = !onMainThread();
        for (int i = 0; i < 3; ++i) loop.post([&, i] { order.push_back(onMainThread() ? i : -1); });
    });
    ASSERT_TRUE(spinUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector{0, 1, 2}));
    EXPECT_TRUE(backgroundOffMain);
}

TEST(LogindWake, ReportsTheReturnFromSleep) {
    QProcess bus;  // a private message bus, on which one connection plays logind
    const QString address = startBus(bus);
    ASSERT_FALSE(address.isEmpty()) << "no dbus-daemon";
    QDBusConnection logind = QDBusConnection::connectToBus(address, "logind");
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
    int wakes = 0;
    LogindWake wake(QDBusConnection::connectToBus(address, "agent"), [&] { ++wakes; });
    // PrepareForSleep(false): awake again. (A wake going to sleep would be harmless.)
    logind.send(QDBusMessage::createSignal("/org/freedesktop/login1",
                                           "org.freedesktop.login1.Manager", "PrepareForSleep")
                << false);
    EXPECT_TRUE(spinUntil([&] { return wakes == 1; }));
    bus.kill();
}

// A loopback server that keeps its one client and records what that client does.
class QtWebSocketTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server, &QWebSocketServer::newConnection, [this] {
            peer.reset(server.nextPendingConnection());  // not owned by the server
            QObject::connect(peer.get(), &QWebSocket::textMessageReceived,
                             [this](const QString& text) { texts.push_back(text.toStdString()); });
            QObject::connect(peer.get(), &QWebSocket::disconnected,
                             [this, peer = peer.get()] { closeCode = peer->closeCode(); });
        });
    }

    void open(quint16 port) {
        opened = false;
        peer.reset();
        socket = qtWebSocketFactory()("ws://127.0.0.1:" + std::to_string(port) + "/realtime");
        socket->open([this] { opened = true; });
        EXPECT_FALSE(opened);
    }
    bool connected() {
        return spinUntil([&] { return opened && peer; });
    }

    // One receive, waited for; it must not complete inside the call that asked for it.
    std::optional<WebSocketMessage> receiveOne() {
        bool done = false;
        std::optional<WebSocketMessage> result;
        socket->receive([&](auto message) { done = true, result = std::move(message); });
        EXPECT_FALSE(done);
        EXPECT_TRUE(spinUntil([&] { return done; }));
        return result;
    }

    std::vector<std::string> texts;
    std::optional<int> closeCode;
    bool opened = false;
    QWebSocketServer server{"relay", QWebSocketServer::NonSecureMode};
    std::unique_ptr<QWebSocket> peer;  // goes after the socket, before what it records to
    std::unique_ptr<WebSocket> socket;
};

TEST_F(QtWebSocketTest, HandsOnMessagesUpTo4MiBInOrderClosesWithItsCodeAndFailsOnceTheEndCame) {
    open(server.serverPort());
    ASSERT_TRUE(connected());
    const QByteArray largest(4 << 20, 'x');
    peer->sendTextMessage("one");
    peer->sendBinaryMessage(largest);
    for (auto [data, binary] : {std::pair{QByteArray("one"), false}, {largest, true}}) {
        const auto message = receiveOne();
        EXPECT_TRUE(message && message->data == data.toStdString() && message->binary == binary);
    }
    socket->sendText("hello");
    EXPECT_TRUE(spinUntil([&] { return texts == std::vector<std::string>{"hello"}; }));

    socket->receive([&](auto) { ADD_FAILURE() << "answered once gone"; });
    socket->close(1001);
    socket.reset();
    ASSERT_TRUE(spinUntil([&] { return closeCode.has_value(); }));
    EXPECT_EQ(closeCode, 1001);

    open(server.serverPort());  // a receive fails when the connection ends, or never opens
    ASSERT_TRUE(connected());
    peer->close();
    EXPECT_FALSE(receiveOne());

    const quint16 port = server.serverPort();
    server.close();  // nobody listens there now
    open(port);
    EXPECT_FALSE(receiveOne());
    EXPECT_FALSE(opened);
}

}  // namespace
}  // namespace zg::test
