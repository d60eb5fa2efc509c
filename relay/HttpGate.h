#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

#include "relay/RelayLimits.h"
#include "relay/TokenBucket.h"

class QTcpSocket;

namespace zg::relay {

// Whether a request with these "Upgrade" and "Connection" header values asks for a WebSocket, as
// Qt's HTTP server judges it: only then does the server hand it to its WebSocket side.
bool asksForWebSocket(const QByteArray& upgrade, const QByteArray& connection);

// How many of the relay's TCP connections each address holds, so that no host can take all
// of them. Shared by the gates, which can outlive the server: sockets are deleted later.
class SocketCounts {
public:
    explicit SocketCounts(const RelayLimits& limits);

    // Counts a new connection from `address`, unless that would pass a limit; then `why` says
    // which.
    bool take(const QHostAddress& address, QString& why);
    void giveBack(const QHostAddress& address);
    // Logs a refusal; a flood of them has only a sample logged.
    void logRefusal(const QString& line);

private:
    const int total_;
    const int perAddress_;
    int open_ = 0;
    QHash<QHostAddress, int> byAddress_;
    TokenBucket logBudget_;
};

// Stands in front of one TCP connection until it has sent a complete request head, and hands it
// on only if the relay serves that request: a GET without a body, within the size and time
// limits. Nothing is read off the socket before then, so the HTTP server reads the request as
// sent. A plain request is answered once and its connection closed, so every request passes a
// gate; a WebSocket upgrade goes on to the WebSocket side, which has limits of its own. Refusals
// are answered with an HTTP status and the connection closed, before a body is buffered.
class HttpGate : public QObject {
    Q_OBJECT
public:
    // Becomes a child of `socket`. `handOver` passes the socket to the HTTP server.
    HttpGate(QTcpSocket* socket, std::shared_ptr<SocketCounts> counts, const RelayLimits& limits,
             std::function<void(QTcpSocket*)> handOver);
    ~HttpGate() override;

    // Whether a refused connection closes as its socket does (a LingeringSocket drains what
    // the client still sends, so that the answer is not lost to a reset), or at once: a
    // connection over the limits holds no place, and must not hold a descriptor either.
    enum class Closing { atOnce, afterDraining };
    // Answers `status` with `text` and closes the connection, giving it a few seconds at most.
    static void refuse(QTcpSocket* socket, int status, const QByteArray& text, Closing closing);

private:
    enum class Stage { head, answering, handled };
    void inspect();
    void expire();
    void pass(bool upgrade);
    void turnAway(int status, const QByteArray& text);

    QTcpSocket* socket_;
    std::shared_ptr<SocketCounts> counts_;
    const RelayLimits limits_;
    std::function<void(QTcpSocket*)> handOver_;
    const QHostAddress peer_;
    Stage stage_ = Stage::head;
    QTimer deadline_;
};

}  // namespace zg::relay
