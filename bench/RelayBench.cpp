// Broadcast throughput of the relay on loopback, 1 sender to 3 receivers, against a plain
// WebSocket fan-out (no JSON, no channels) measured in the same run. Reports, never asserts.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <cstdio>
#include <future>
#include <memory>
#include <vector>

#include "Spin.h"
#include "relay/EmbeddedRelay.h"

namespace {

constexpr int receiverCount = 3;
const QString topic = "realtime:zephyrglint-bench";

// Forwards every text message to every other client: the least any relay has to do.
class FanOut {
public:
    FanOut() : thread_(QThread::create([this] { run(); })) {}
    ~FanOut() {
        thread_->quit();
        thread_->wait();
    }

    quint16 start() {
        std::future<quint16> port = port_.get_future();
        thread_->start();
        return port.get();
    }

private:
    void run() {
        // Without Nagle's delay, like the relay.
        QTcpServer tcp;
        QWebSocketServer server("fan-out", QWebSocketServer::NonSecureMode);
        QObject::connect(&tcp, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* socket = tcp.nextPendingConnection()) {
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                server.handleConnection(socket);
            }
        });
        std::vector<std::unique_ptr<QWebSocket>> clients;
        QObject::connect(&server, &QWebSocketServer::newConnection, [&] {
            while (QWebSocket* socket = server.nextPendingConnection()) {
                clients.emplace_back(socket);
                QObject::connect(socket, &QWebSocket::textMessageReceived,
                                 [&clients, socket](const QString& message) {
                                     for (auto& client : clients) {
                                         if (client.get() != socket)
                                             client->sendTextMessage(message);
                                     }
                                 });
            }
        });
        tcp.listen(QHostAddress::LocalHost, 0);
        port_.set_value(tcp.serverPort());
        QEventLoop loop;  // QThread::quit() ends it
        loop.exec();
    }

    std::unique_ptr<QThread> thread_;
    std::promise<quint16> port_;
};

// Delivered messages per second, 0 if the run did not complete.
double measure(quint16 port, bool joinFirst, int payloadBytes, int messages, int window) {
    std::vector<std::unique_ptr<QWebSocket>> sockets;
    std::vector<int> received(receiverCount + 1, 0);
    for (int i = 0; i <= receiverCount; ++i) {
        auto socket = std::make_unique<QWebSocket>();
        QObject::connect(socket.get(), &QWebSocket::textMessageReceived,
                         [&received, i](const QString&) { ++received[i]; });
        socket->open(QUrl(QString("ws://127.0.0.1:%1/realtime/v1/websocket?vsn=1.0.0").arg(port)));
        sockets.push_back(std::move(socket));
    }
    if (!zg::test::spinUntil(
            [&] {
                return std::all_of(sockets.begin(), sockets.end(), [](auto& socket) {
                    return socket->state() == QAbstractSocket::ConnectedState;
                });
            },
            60)) {
        return 0;
    }
    if (joinFirst) {
        for (auto& socket : sockets) {
            socket->sendTextMessage(R"({"topic":")" + topic +
                                    R"(","event":"phx_join","payload":{},"ref":"1"})");
        }
        if (!zg::test::spinUntil(
                [&] {
                    return std::all_of(received.begin(), received.end(),
                                       [](int n) { return n == 1; });
                },
                60)) {
            return 0;
        }
        std::fill(received.begin(), received.end(), 0);
    }

    const QString frame = R"({"topic":")" + topic +
                          R"(","event":"broadcast","ref":"2","payload":{"type":"broadcast",)"
                          R"("event":"cmd","payload":{"data":")" +
                          QString(payloadBytes, 'x') + R"("}}})";
    QWebSocket& sender = *sockets[0];
    const auto slowest = [&] { return *std::min_element(received.begin() + 1, received.end()); };
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    const bool done = zg::test::spinUntil(
        [&] {
            // Keep at most `window` messages in flight so that neither side merely buffers.
            while (sent < messages && sent - slowest() < window) {
                sender.sendTextMessage(frame);
                ++sent;
            }
            return slowest() == messages;
        },
        60);
    return done ? receiverCount * messages / (clock.nsecsElapsed() / 1e9) : 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    zg::RelayLimits limits;
    limits.messagesPerSecond = 1e9;
    limits.messageBurst = 1e9;
    limits.maxBacklogBytes = std::int64_t(1) << 30;
    zg::EmbeddedRelay relay(limits);
    FanOut fanOut;
    if (std::string error; !relay.start(QHostAddress::LocalHost, 0, error)) {
        std::fprintf(stderr, "relay: %s\n", error.c_str());
        return 1;
    }
    const quint16 fanOutPort = fanOut.start();

    struct Scenario {
        const char* name;
        int payloadBytes;
        int messages;
        int window;
    };
    QString table = QString("%1 %2 %3 %4\n")
                        .arg("payload", -16)
                        .arg("fan-out", 14)
                        .arg("relay", 14)
                        .arg("ratio", 10);
    double small = 0;
    for (const Scenario& s :
         {Scenario{"150 B", 150, 30'000, 200}, Scenario{"200 kB", 200'000, 500, 16}}) {
        // Rounds alternate, and the median counts, so that warming up (the allocator, caches)
        // favours neither side.
        std::vector<double> baseline, relayed;
        for (int round = 0; round < 3; ++round) {
            baseline.push_back(measure(fanOutPort, false, s.payloadBytes, s.messages, s.window));
            relayed.push_back(measure(relay.port(), true, s.payloadBytes, s.messages, s.window));
        }
        const double base = median(baseline), ours = median(relayed);
        if (s.payloadBytes == 150) small = ours;
        table += QString("%1 %2 %3 %4\n")
                     .arg(s.name, -16)
                     .arg(base, 14, 'f', 0)
                     .arg(ours, 14, 'f', 0)
                     .arg(base > 0 ? ours / base : 0, 10, 'f', 2);
    }
    // Printed at the end, clear of the relay's log lines.
    std::printf("Broadcast on loopback, 1 sender -> %d receivers, delivered messages/s\n%s",
                receiverCount, qPrintable(table));
    std::printf("goal: >= 50000 small messages/s delivered: %s\n",
                small >= 50'000 ? "met" : "not met");
    return 0;
}
