#include "relay/HttpGate.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "relay/Log.h"

namespace zg::relay {

namespace {

using namespace std::chrono_literals;

// How long a refused connection has to take its answer before it is cut.
constexpr auto kClosingGrace = 5s;

const QByteArray kHeadEnd = "\r\n\r\n";

QByteArray reasonPhrase(int status) {
    switch (status) {
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Content Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Bad Request";
    }
}

// What the gate needs to know of a request head: its method, whether a body follows, and
// whether it asks for a WebSocket.
struct RequestHead {
    QByteArray method;
    bool body = false;
    bool webSocket = false;

    explicit RequestHead(const QByteArray& head) {
        const QList<QByteArray> lines = head.split('\n');
        method = lines.value(0).split(' ').value(0).trimmed();
        QByteArray upgrade, connection;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon < 0) continue;
            const QByteArray name = lines[i].first(colon).trimmed().toLower();
            const QByteArray value = lines[i].sliced(colon + 1).trimmed();
            if (name == "content-length") body = body || value != "0";
            if (name == "transfer-encoding") body = true;
            if (name == "upgrade") upgrade = value;
            if (name == "connection") connection += value + ',';
        }
        webSocket = asksForWebSocket(upgrade, connection);
    }
};

}  // namespace

bool asksForWebSocket(const QByteArray& upgrade, const QByteArray& connection) {
    if (upgrade.compare("websocket", Qt::CaseInsensitive) != 0) return false;
    const QList<QByteArray> tokens = connection.split(',');
    return std::any_of(tokens.cbegin(), tokens.cend(), [](const QByteArray& token) {
        return token.trimmed().compare("upgrade", Qt::CaseInsensitive) == 0;
    });
}

SocketCounts::SocketCounts(const RelayLimits& limits)
    : total_(limits.maxSockets),
      perAddress_(limits.maxSocketsPerAddress),
      logBudget_(5, 20, TokenBucket::Clock::now()) {}

bool SocketCounts::take(const QHostAddress& address, QString& why) {
    int& mine = byAddress_[address];
    if (open_ >= total_) {
        why = QString("too many connections: %1").arg(total_);
    } else if (mine >= perAddress_) {
        why = QString("too many connections from one address: %1").arg(perAddress_);
    } else {
        ++open_;
        ++mine;
        return true;
    }
    if (mine == 0) byAddress_.remove(address);
    return false;
}

void SocketCounts::giveBack(const QHostAddress& address) {
    --open_;
    if (--byAddress_[address] <= 0) byAddress_.remove(address);
}

void SocketCounts::logRefusal(const QString& line) {
    if (logBudget_.take(TokenBucket::Clock::now())) log(line);
}

HttpGate::HttpGate(QTcpSocket* socket, std::shared_ptr<SocketCounts> counts,
                   const RelayLimits& limits, std::function<void(QTcpSocket*)> handOver)
    : QObject(socket),
      socket_(socket),
      counts_(std::move(counts)),
      limits_(limits),
      handOver_(std::move(handOver)),
      peer_(socket->peerAddress()) {
    // The socket buffers no more than a head may take: a client that sends more waits.
    socket_->setReadBufferSize(limits_.maxRequestHeadBytes);
    connect(socket_, &QTcpSocket::readyRead, this, &HttpGate::inspect);
    connect(socket_, &QTcpSocket::disconnected, socket_, &QObject::deleteLater);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &HttpGate::expire);
    deadline_.start(limits_.requestHeadTimeout);
}

HttpGate::~HttpGate() {
    counts_->giveBack(peer_);
}

void HttpGate::refuse(QTcpSocket* socket, int status, const QByteArray& text, Closing closing) {
    const QByteArray body = text + '\n';
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
                  "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater,
                     Qt::UniqueConnection);
    // A client that does not take the answer, or does not close, is not waited for.
    QTimer::singleShot(kClosingGrace, socket, &QTcpSocket::abort);
    // A lingering socket drains what the client still sends, so that the answer is not lost.
    closing == Closing::atOnce ? socket->disconnectFromHost() : socket->close();
}

void HttpGate::inspect() {
    if (stage_ != Stage::head) return;
    const QByteArray seen = socket_->peek(limits_.maxRequestHeadBytes);
    const qsizetype end = seen.indexOf(kHeadEnd);
    if (end < 0) {
        if (seen.size() >= limits_.maxRequestHeadBytes) {
            turnAway(431, QByteArray("request head over ") +
                              QByteArray::number(limits_.maxRequestHeadBytes) + " bytes");
        }
        return;
    }
    const RequestHead head(seen.first(end));
    if (head.body) return turnAway(413, "this server takes no request bodies");
    if (head.method != "GET") return turnAway(405, "only GET is served here");
    pass(head.webSocket);
}

void HttpGate::pass(bool upgrade) {
    disconnect(socket_, &QTcpSocket::readyRead, this, &HttpGate::inspect);
    // From here the HTTP server, or the WebSocket it makes, deletes the socket.
    disconnect(socket_, &QTcpSocket::disconnected, socket_, &QObject::deleteLater);
    if (upgrade) {
        stage_ = Stage::handled;
        deadline_.stop();
        socket_->setReadBufferSize(0);  // messages are limited by the WebSocket side
    } else {
        stage_ = Stage::answering;
        deadline_.start(limits_.answerTimeout);
        connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
            if (socket_->bytesToWrite() == 0) socket_->disconnectFromHost();
        });
    }
    handOver_(socket_);
    // The server reads what arrived before it took the socket.
    emit socket_->readyRead();
}

void HttpGate::turnAway(int status, const QByteArray& text) {
    counts_->logRefusal(QString("refused %1 with %2: %3")
                            .arg(peer_.toString())
                            .arg(status)
                            .arg(QString::fromUtf8(text)));
    stage_ = Stage::handled;
    deadline_.stop();
    disconnect(socket_, &QTcpSocket::readyRead, this, &HttpGate::inspect);
    refuse(socket_, status, text, Closing::afterDraining);
}

void HttpGate::expire() {
    if (stage_ == Stage::head) {
        return turnAway(408, QByteArray("no complete request within ") +
                                 QByteArray::number(limits_.requestHeadTimeout.count()) + " ms");
    }
    counts_->logRefusal(
        QString("cut off %1: its answer was not taken in time").arg(peer_.toString()));
    socket_->abort();
}

}  // namespace zg::relay
