#include "relay/Connection.h"

#include <QTimer>

#include "relay/Log.h"

namespace zg::relay {

namespace {

using namespace std::chrono_literals;

constexpr auto closeGrace = 1s;

}  // namespace

Connection::Connection(std::unique_ptr<QWebSocket> socket, quint64 id, const RelayLimits& limits)
    : socket_(std::move(socket)),
      limits_(limits),
      rate_(limits.messagesPerSecond, limits.messageBurst, Clock::now()),
      logBudget_(5, 20, Clock::now()),
      lastMessage_(Clock::now()) {
    const QHostAddress peer = socket_->peerAddress();
    const QString host = peer.protocol() == QAbstractSocket::IPv6Protocol
                             ? "[" + peer.toString() + "]"
                             : peer.toString();
    name_ = QString("#%1 %2:%3").arg(id).arg(host).arg(socket_->peerPort());

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
                .arg(name_)
                .arg(socket_->closeCode())
                .arg(printable(socket_->closeReason())));
        emit finished(this);
    });
}

Connection::~Connection() {
    // The socket's destructor closes it (1001) and would otherwise call back into this half-gone
    // object.
    socket_->disconnect(this);
}

Connection::Admission Connection::admit() {
    const auto now = Clock::now();
    lastMessage_ = now;
    if (rate_.take(now)) return Admission::accept;
    if (now - dropWindowStart_ >= 1s) {
        dropWindowStart_ = now;
        dropsInWindow_ = 0;
        logRefusal(QString("over %1 messages/s, dropping frames").arg(limits_.messagesPerSecond));
    }
    return ++dropsInWindow_ > limits_.messagesPerSecond ? Admission::abuse : Admission::drop;
}

void Connection::send(const QString& frame) {
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

void Connection::close(QWebSocketProtocol::CloseCode code, const QString& reason) {
    if (closing_) return;
    closing_ = true;
    log(QString("%1 closing with %2: %3").arg(name_).arg(code).arg(reason));
    QTimer::singleShot(closeGrace, this, [this] { socket_->abort(); });
    socket_->close(code, reason);
}

void Connection::logRefusal(const QString& what) {
    if (logBudget_.take(Clock::now())) log(name_ + ": " + what);
}

}  // namespace zg::relay
