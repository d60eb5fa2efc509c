#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "relay/RelayLimits.h"

namespace zg::relay {

class Connection;
struct Frame;
struct Membership;

// The channels and their members, and what each incoming frame does to them.
class Channels {
public:
    explicit Channels(const RelayLimits& limits);

    // Handles one message received from `from`.
    void handle(Connection* from, const QByteArray& message);
    // Forgets a connection that has ended.
    void remove(Connection* connection);

private:
    void heartbeat(Connection* from, const Frame& frame);
    void join(Connection* from, const Frame& frame);
    void leave(Connection* from, const Frame& frame);
    void broadcast(Connection* from, Membership membership, const Frame& frame);
    void refuse(Connection* from, const Frame& frame, const QString& reason);

    RelayLimits limits_;
    QHash<QString, QList<Connection*>> members_;
};

}  // namespace zg::relay
