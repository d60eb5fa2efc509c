#include "relay/Channels.h"

#include <QJsonArray>

#include "relay/Connection.h"
#include "relay/Log.h"
#include "relay/Protocol.h"

namespace zg::relay {

namespace {

const QString topicPrefix = QStringLiteral("realtime:");

}  // namespace

Channels::Channels(const RelayLimits& limits) : limits_(limits) {}

void Channels::handle(Connection* from, const QByteArray& message) {
    const Connection::Admission admission = from->admit();
    if (admission == Connection::Admission::abuse) {
        from->close(QWebSocketProtocol::CloseCodePolicyViolated, "rate limit exceeded");
        return;
    }
    QString why;
    const std::optional<Frame> frame = parseFrame(message, why);
    if (!frame) {
        from->logRefusal("dropped a message: " + why);
        return;
    }
    if (admission == Connection::Admission::drop) {
        from->send(errorReply(frame->topic, frame->ref, "rate limit exceeded"));
        return;
    }
    if (frame->event == "phx_join") return join(from, *frame);
    if (frame->topic == "phoenix") return heartbeat(from, *frame);

    const auto membership = from->memberships().constFind(frame->topic);
    if (membership == from->memberships().cend()) return refuse(from, *frame, "unmatched topic");
    if (frame->event == "broadcast") return broadcast(from, *membership, *frame);
    if (frame->event == "phx_leave") return leave(from, *frame);
    // Clients send their token to each joined channel; public channels need none.
    if (frame->event == "access_token") return;
    refuse(from, *frame, "unsupported event: " + frame->event);
}

void Channels::remove(Connection* connection) {
    for (auto it = connection->memberships().cbegin(); it != connection->memberships().cend();
         ++it) {
        auto members = members_.find(it.key());
        members->removeOne(connection);
        if (members->isEmpty()) members_.erase(members);
    }
    connection->memberships().clear();
}

void Channels::heartbeat(Connection* from, const Frame& frame) {
    if (frame.event != "heartbeat") return refuse(from, frame, "unsupported event: " + frame.event);
    from->send(okReply(frame.topic, frame.ref));
}

void Channels::join(Connection* from, const Frame& frame) {
    if (!frame.topic.startsWith(topicPrefix) || frame.topic.size() == topicPrefix.size())
        return refuse(from, frame, "topic must be realtime:<channel>");
    if (frame.topic.size() > limits_.maxTopicLength)
        return refuse(from, frame, QString("topic longer than %1").arg(limits_.maxTopicLength));

    const QJsonObject config = frame.payload.value("config").toObject();
    if (config.value("private").toBool())
        return refuse(from, frame, "private channels are not supported");
    if (!config.value("postgres_changes").toArray().isEmpty())
        return refuse(from, frame, "postgres_changes are not supported");

    auto& memberships = from->memberships();
    const bool rejoin = memberships.contains(frame.topic);
    if (!rejoin && memberships.size() >= limits_.maxChannelsPerConnection) {
        return refuse(
            from, frame,
            QString("too many channels: %1 per connection").arg(limits_.maxChannelsPerConnection));
    }
    const QJsonObject broadcast = config.value("broadcast").toObject();
    memberships.insert(frame.topic, Membership{broadcast.value("self").toBool(),
                                               broadcast.value("ack").toBool(), frame.ref});
    if (!rejoin) members_[frame.topic].append(from);
    from->send(okReply(frame.topic, frame.ref, {{"postgres_changes", QJsonArray()}}));
}

void Channels::leave(Connection* from, const Frame& frame) {
    const Membership membership = from->memberships().take(frame.topic);
    auto members = members_.find(frame.topic);
    members->removeOne(from);
    if (members->isEmpty()) members_.erase(members);
    from->send(okReply(frame.topic, frame.ref));
    from->send(closeFrame(frame.topic, membership.joinRef));
}

void Channels::broadcast(Connection* from, Membership membership, const Frame& frame) {
    const QString outgoing = broadcastFrame(frame.topic, frame.payload);
    // Copies, as is `membership`: a send can disconnect a slow member, which takes it out of the
    // channel.
    const QList<Connection*> members = members_.value(frame.topic);
    for (Connection* member : members) {
        if (member != from || membership.self) member->send(outgoing);
    }
    if (membership.ack) from->send(okReply(frame.topic, frame.ref));
}

void Channels::refuse(Connection* from, const Frame& frame, const QString& reason) {
    from->logRefusal(QString("refused %1 on %2: %3")
                         .arg(printable(frame.event), printable(frame.topic), printable(reason)));
    from->send(errorReply(frame.topic, frame.ref, reason));
}

}  // namespace zg::relay
