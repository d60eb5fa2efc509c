#pragma once

#include <QHash>
#include <QJsonValue>
#include <QObject>
#include <QWebSocketProtocol>

#include "relay/RelayLimits.h"
#include "relay/TokenBucket.h"

namespace zg::relay {

// How a connection joined one channel.
struct Membership {
    bool self = false;  // its own broadcasts come back to it
    bool ack = false;   // its broadcasts are acknowledged with a reply
    QJsonValue joinRef;
};

// One peer of the relay: the rate it may send at, its channels, and how it ends. Lives on the
// relay's thread; subclasses carry the frames.
class Connection : public QObject {
    Q_OBJECT
public:
    using Clock = TokenBucket::Clock;
    enum class Admission { accept, drop, abuse };

    Connection(QString name, const RelayLimits& limits);

    const QString& name() const { return name_; }
    bool isClosing() const { return closing_; }
    Clock::time_point lastMessage() const { return lastMessage_; }
    QHash<QString, Membership>& memberships() { return memberships_; }

    // Counts one incoming message against the rate limit.
    Admission admit();
    // Logs a refusal; a peer that provokes a flood of them gets only a sample logged.
    void logRefusal(const QString& what);

    // Queues one text frame for the peer.
    virtual void send(const QString& frame) = 0;
    // Ends the connection with `code`; `finished` follows.
    virtual void close(QWebSocketProtocol::CloseCode code, const QString& reason) = 0;

signals:
    void messageReceived(zg::relay::Connection* from, const QByteArray& message);
    void finished(zg::relay::Connection* connection);

protected:
    const RelayLimits limits_;
    bool closing_ = false;

private:
    QString name_;
    TokenBucket rate_;
    TokenBucket logBudget_;
    Clock::time_point lastMessage_;
    Clock::time_point dropWindowStart_;
    int dropsInWindow_ = 0;
    QHash<QString, Membership> memberships_;
};

}  // namespace zg::relay
