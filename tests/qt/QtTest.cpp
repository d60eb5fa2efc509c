#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>

#include <sys/prctl.h>

#include <atomic>
#include <csignal>

#include "Spin.h"
#include "platform/qt/LogindWake.h"
#include "platform/qt/QtLoop.h"
#include "platform/qt/QtWebSocket.h"

namespace zg::test {
namespace {

bool onMainThread() {
    return QThread::currentThread() == qApp->thread();
}

TEST(QtLoop, TimersAndPostedWorkRunOnTheMainThreadInOrderNoSoonerThanAsked) {
    QtLoop loop;
    const Seconds start = loop.now();
    QElapsedTimer wall;
    wall.start();
    std::vector<Seconds> ticks;  // when each tick ran; -1 off the main thread
    ScheduledHandle timer = loop.every(0.03, [&] {
        ticks.push_back(onMainThread() ? loop.now() - start : -1);
        if (ticks.size() == 3) timer->cancel();
    });
    loop.later(0.02, [&] { ticks.push_back(-2); })->cancel();
    Seconds ranAt = -1;
    loop.after(0.15, [&] { ranAt = loop.now() - start; });
    ASSERT_TRUE(spinUntil([&] { return ranAt >= 0 && ticks.size() >= 3; }));
    EXPECT_GE(ranAt, 0.15);
    EXPECT_EQ(ticks.size(), 3u);
    EXPECT_GE(*std::min_element(ticks.begin(), ticks.end()), 0.03);
    EXPECT_NEAR(loop.now() - start, wall.elapsed() / 1e3, 0.05);  // the clock counts seconds

    std::vector<int> order;
    std::atomic<bool> backgroundOffMain = false;
    loop.background([&] {
        backgroundOffMain = !onMainThread();
        for (int i = 0; i < 3; ++i) loop.post([&, i] { order.push_back(onMainThread() ? i : -1); });
    });
    ASSERT_TRUE(spinUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector{0, 1, 2}));
    EXPECT_TRUE(backgroundOffMain);
}

TEST(LogindWake, ReportsTheReturnFromSleepOnly) {
    QProcess bus;  // a private message bus, on which one connection plays logind
    bus.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(spinUntil([&] { return bus.canReadLine(); })) << "no dbus-daemon";
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    QDBusConnection logind = QDBusConnection::connectToBus(address, "logind");
    ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
    int wakes = 0;
    LogindWake wake(QDBusConnection::connectToBus(address, "agent"), [&] { ++wakes; });
    for (bool sleeping : {true, false})
        logind.send(QDBusMessage::createSignal("/org/freedesktop/login1",
                                               "org.freedesktop.login1.Manager", "PrepareForSleep")
                    << sleeping);
    EXPECT_TRUE(spinUntil([&] { return wakes == 1; }));
    spinUntil([] { return false; }, 0.1);
    EXPECT_EQ(wakes, 1);
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
        socket = qtWebSocketFactory()("ws://127.0.0.1:" + std::to_string(port) + "/realtime");
        socket->open([this] { opened = true; });
        EXPECT_FALSE(opened);
    }

    // One receive, waited for; it must not complete inside the call that asked for it.
    std::optional<WebSocketMessage> receiveOne() {
        bool done = false;
        std::optional<WebSocketMessage> result;
        socket->receive([&](std::optional<WebSocketMessage> message) {
            done = true;
            result = std::move(message);
        });
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

TEST_F(QtWebSocketTest, HandsOnMessagesUpTo4MiBInOrderAndClosesWithTheCodeGiven) {
    open(server.serverPort());
    ASSERT_TRUE(spinUntil([&] { return opened && peer; }));
    const QByteArray largest(4 << 20, 'x');
    peer->sendTextMessage("one");
    peer->sendBinaryMessage(largest);
    for (auto [data, binary] :
         {std::pair{std::string("one"), false}, {largest.toStdString(), true}}) {
        const auto message = receiveOne();
        ASSERT_TRUE(message);
        EXPECT_EQ(message->data, data);
        EXPECT_EQ(message->binary, binary);
    }
    socket->sendText("hello");
    EXPECT_TRUE(spinUntil([&] { return texts == std::vector<std::string>{"hello"}; }));

    socket->receive([&](auto) { ADD_FAILURE() << "answered once gone"; });
    socket->close(1001);
    socket.reset();
    ASSERT_TRUE(spinUntil([&] { return closeCode.has_value(); }));
    EXPECT_EQ(closeCode, 1001);
}

TEST_F(QtWebSocketTest, ReceiveFailsWhenTheConnectionEndsOrNeverOpens) {
    open(server.serverPort());
    ASSERT_TRUE(spinUntil([&] { return opened && peer; }));
    peer->close();
    EXPECT_FALSE(receiveOne());

    const quint16 port = server.serverPort();
    server.close();  // nobody listens there now
    opened = false;
    open(port);
    EXPECT_FALSE(receiveOne());
    EXPECT_FALSE(opened);
}

}  // namespace
}  // namespace zg::test
