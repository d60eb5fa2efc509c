#pragma once

#include <QHash>
#include <QJsonValue>
#include <QObject>
#include <QWebSocket>

#include <memory>

#include "relay/RelayLimits.h"
#include "relay/TokenBucket.h"

namespace zg::relay {

// How a connection joined one channel.
struct Membership {
    bool self = false;  // its own broadcasts come back to it
    bool ack = false;   // its broadcasts are acknowledged with a reply
    QJsonValue joinRef;
};

// One WebSocket peer: the rate it may send at, the backlog that may queue for it, and how it
// ends. Lives on the relay's thread.
class Connection : public QObject {
    Q_OBJECT
public:
    using Clock = TokenBucket::Clock;
    enum class Admission { accept, drop, abuse };

    Connection(std::unique_ptr<QWebSocket> socket, quint64 id, const RelayLimits& limits);
    ~Connection() override;

    const QString& name() const { return name_; }
    QUrl requestUrl() const { return socket_->requestUrl(); }
    bool isClosing() const { return closing_; }
    Clock::time_point lastMessage() const { return lastMessage_; }
    QHash<QString, Membership>& memberships() { return memberships_; }

    // Counts one incoming message against the rate limit.
    Admission admit();
    // Queues one text frame; a receiver whose backlog passes the bound is disconnected instead.
    void send(const QString& frame);
    // Sends a close frame; a peer that has not completed the close after a grace period (it may
    // not be reading at all) is cut off.
    void close(QWebSocketProtocol::CloseCode code, const QString& reason);
    // Logs a refusal; a peer that provokes a flood of them gets only a sample logged.
    void logRefusal(const QString& what);

signals:
    void messageReceived(zg::relay::Connection* from, const QByteArray& message);
    void finished(zg::relay::Connection* connection);

private:
    std::unique_ptr<QWebSocket> socket_;
    RelayLimits limits_;
    QString name_;
    bool closing_ = false;
    TokenBucket rate_;
    TokenBucket logBudget_;
    Clock::time_point lastMessage_;
    Clock::time_point dropWindowStart_;
    int dropsInWindow_ = 0;
    QHash<QString, Membership> memberships_;
};

}  // namespace zg::relay
