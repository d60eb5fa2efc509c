#include "relay/RelayServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <algorithm>

#include "relay/HttpGate.h"
#include "relay/LingeringSocket.h"
#include "relay/LocalLink.h"
#include "relay/Log.h"
#include "relay/WebSocketConnection.h"

namespace zg {

namespace {

using relay::Connection;
using relay::WebSocketConnection;

// Registered by IANA, absent from Qt's enum.
constexpr auto tryAgainLater = QWebSocketProtocol::CloseCode(1013);

// Counts each connection against its address's share and puts a gate in front of it, which
// hands it to the HTTP server once its request is one the relay serves. Sends without Nagle's
// delay: the relay forwards small messages (pointer moves) that must not wait for the previous
// one to be acknowledged.
class GatedServer : public QTcpServer {
public:
    explicit GatedServer(const RelayLimits& limits)
        : limits_(limits), counts_(std::make_shared<relay::SocketCounts>(limits)) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new relay::LingeringSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (QString why; !counts_->take(socket->peerAddress(), why)) {
            counts_->logRefusal(
                QString("refused %1: %2").arg(socket->peerAddress().toString(), why));
            relay::HttpGate::refuse(socket, 503, why.toUtf8(), relay::HttpGate::Closing::atOnce);
            return;
        }
        new relay::HttpGate(socket, counts_, limits_, [this](QTcpSocket* passed) {
            addPendingConnection(passed);
            emit newConnection();
        });
    }

private:
    const RelayLimits limits_;
    std::shared_ptr<relay::SocketCounts> counts_;
};

}  // namespace

RelayServer::RelayServer(RelayLimits limits, QObject* parent)
    : QObject(parent), limits_(limits), channels_(limits_) {
    // QHttpServer 6.4 upgrades only requests whose route exists and leaves the responder unused.
    http_.route(webSocketPath, [](const QHttpServerRequest& request,
                                  QHttpServerResponder&& responder) {
        if (relay::asksForWebSocket(request.value("upgrade"), request.value("connection"))) return;
        responder.write("This address takes WebSocket connections only.\n",
                        {{"Content-Type", "text/plain; charset=utf-8"}, {"Upgrade", "websocket"}},
                        QHttpServerResponder::StatusCode::UpgradeRequired);
    });
    http_.setMissingHandler(
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            assets_.respond(request, std::move(responder));
        });
    connect(&http_, &QAbstractHttpServer::newWebSocketConnection, this, &RelayServer::accept);

    idleSweep_.setInterval(std::max(limits_.idleTimeout / 4, std::chrono::milliseconds(10)));
    connect(&idleSweep_, &QTimer::timeout, this, &RelayServer::sweepIdle);
}

RelayServer::~RelayServer() {
    // Connections go first, cut off from this half-destroyed server; each socket closes with 1001
    // as it is destroyed.
    for (Connection* connection : std::as_const(connections_)) {
        connection->disconnect(this);
        delete connection;
    }
}

bool RelayServer::listen(const QHostAddress& address, quint16 port, std::string& error) {
    auto tcp = std::make_unique<GatedServer>(limits_);
    if (!tcp->listen(address, port)) {
        error = QString("cannot listen on %1 port %2: %3")
                    .arg(address.toString())
                    .arg(port)
                    .arg(tcp->errorString())
                    .toStdString();
        return false;
    }
    tcp_ = tcp.release();
    http_.bind(tcp_);  // takes ownership
    idleSweep_.start();
    return true;
}

quint16 RelayServer::serverPort() const {
    return tcp_ ? tcp_->serverPort() : 0;
}

void RelayServer::adopt(Connection* connection) {
    connection->setParent(this);
    connections_.append(connection);
    connect(
        connection, &Connection::messageReceived, this,
        [this](Connection* from, const QByteArray& message) { channels_.handle(from, message); });
    connect(connection, &Connection::finished, this, [this](Connection* finished) {
        channels_.remove(finished);
        connections_.removeOne(finished);
        finished->deleteLater();
    });
}

void RelayServer::adoptLocal(std::shared_ptr<relay::LocalPipe> pipe) {
    auto* connection = new relay::LocalConnection(std::move(pipe), ++lastId_, limits_);
    adopt(connection);
    relay::log(QString("%1 connected (%2 open)").arg(connection->name()).arg(connections_.size()));
    connection->opened();
}

void RelayServer::accept() {
    while (std::unique_ptr<QWebSocket> socket = http_.nextPendingWebSocketConnection()) {
        auto* connection = new WebSocketConnection(std::move(socket), ++lastId_, limits_);
        adopt(connection);
        if (connections_.size() > limits_.maxConnections) {
            connection->close(tryAgainLater,
                              QString("too many connections: %1").arg(limits_.maxConnections));
            continue;
        }
        const QString vsn = QUrlQuery(connection->requestUrl()).queryItemValue("vsn");
        if (!vsn.isEmpty() && vsn != "1.0.0") {
            connection->logRefusal("asked for vsn " + relay::printable(vsn));
            connection->close(QWebSocketProtocol::CloseCodePolicyViolated,
                              "unsupported vsn, this relay speaks 1.0.0");
            continue;
        }
        relay::log(
            QString("%1 connected (%2 open)").arg(connection->name()).arg(connections_.size()));
    }
}

void RelayServer::sweepIdle() {
    const auto deadline = Connection::Clock::now() - limits_.idleTimeout;
    // A copy: closing can end a connection at once.
    const QList<Connection*> connections = connections_;
    for (Connection* connection : connections) {
        if (connection->lastMessage() < deadline) {
            connection->close(QWebSocketProtocol::CloseCodePolicyViolated,
                              QString("no message for %1 ms").arg(limits_.idleTimeout.count()));
        }
    }
}

}  // namespace zg
