#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// Phoenix Channels 1.0.0 frames: one JSON object per WebSocket message.
namespace zg::relay {

struct Frame {
    QString topic;
    QString event;
    QJsonObject payload;
    QJsonValue ref;  // a string, number or null, echoed back as received
};

// The frame in `message`, or nullopt with `why` saying what is wrong with it.
std::optional<Frame> parseFrame(const QByteArray& message, QString& why);

// Server frames carry no "join_ref": the 1.0.0 wire format has none.
QString okReply(const QString& topic, const QJsonValue& ref, const QJsonObject& response = {});
QString errorReply(const QString& topic, const QJsonValue& ref, const QString& reason);
QString broadcastFrame(const QString& topic, const QJsonObject& envelope);
QString closeFrame(const QString& topic, const QJsonValue& ref);

}  // namespace zg::relay
