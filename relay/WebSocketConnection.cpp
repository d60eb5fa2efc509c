#include "relay/WebSocketConnection.h"

#include <QTimer>

#include "relay/Log.h"

namespace zg::relay {

namespace {

using namespace std::chrono_literals;

constexpr auto closeGrace = 1s;

QString peerName(const QWebSocket& socket, quint64 id) {
    const QHostAddress peer = socket.peerAddress();
    const QString host = peer.protocol() == QAbstractSocket::IPv6Protocol
                             ? "[" + peer.toString() + "]"
                             : peer.toString();
    return QString("#%1 %2:%3").arg(id).arg(host).arg(socket.peerPort());
}

}  // namespace

WebSocketConnection::WebSocketConnection(std::unique_ptr<QWebSocket> socket, quint64 id,
                                         const RelayLimits& limits)
    : Connection(peerName(*socket, id), limits), socket_(std::move(socket)) {
    // Qt closes with 1009 by itself when either is exceeded.
    socket_->setMaxAllowedIncomingMessageSize(limits.maxMessageBytes);
    socket_->setMaxAllowedIncomingFrameSize(limits.maxMessageBytes);

    connect(socket_.get(), &QWebSocket::textMessageReceived, this, [this](const QString& text) {
        if (!closing_) emit messageReceived(this, text.toUtf8());
    });
    connect(socket_.get(), &QWebSocket::binaryMessageReceived, this,
            [this](const QByteArray& data) {
                if (!closing_) emit messageReceived(this, data);
            });
    connect(socket_.get(), &QWebSocket::disconnected, this, [this] {
        closing_ = true;
        log(QString("%1 closed: %2 %3")
                .arg(name())
                .arg(socket_->closeCode())
                .arg(printable(socket_->closeReason())));
        emit finished(this);
    });
}

WebSocketConnection::~WebSocketConnection() {
    // The socket's destructor closes it (1001) and would otherwise call back into this half-gone
    // object.
    socket_->disconnect(this);
}

void WebSocketConnection::send(const QString& frame) {
    if (closing_) return;
    socket_->sendTextMessage(frame);
    if (socket_->bytesToWrite() <= limits_.maxBacklogBytes) return;
    // Part of the backlog may only be waiting for the event loop; what the kernel takes now is
    // not backlog.
    socket_->flush();
    if (socket_->bytesToWrite() > limits_.maxBacklogBytes) {
        close(QWebSocketProtocol::CloseCodePolicyViolated,
              QString("receiving too slowly: over %1 bytes queued").arg(limits_.maxBacklogBytes));
    }
}

void WebSocketConnection::close(QWebSocketProtocol::CloseCode code, const QString& reason) {
    if (closing_) return;
    closing_ = true;
    log(QString("%1 closing with %2: %3").arg(name()).arg(code).arg(reason));
    QTimer::singleShot(closeGrace, this, [this] { socket_->abort(); });
    socket_->close(code, reason);
}

}  // namespace zg::relay
