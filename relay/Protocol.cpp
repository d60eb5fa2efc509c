#include "relay/Protocol.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace zg::relay {

namespace {

QString serialize(const QString& topic, const QString& event, const QJsonObject& payload,
                  const QJsonValue& ref) {
    const QJsonObject frame{{"topic", topic}, {"event", event}, {"payload", payload}, {"ref", ref}};
    return QString::fromUtf8(QJsonDocument(frame).toJson(QJsonDocument::Compact));
}

QString reply(const QString& topic, const QJsonValue& ref, const char* status,
              const QJsonObject& response) {
    return serialize(topic, "phx_reply", {{"status", status}, {"response", response}}, ref);
}

}  // namespace

std::optional<Frame> parseFrame(const QByteArray& message, QString& why) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(message, &error);
    if (error.error != QJsonParseError::NoError) {
        why = "not JSON: " + error.errorString();
        return std::nullopt;
    }
    if (!document.isObject()) {
        why = "not a JSON object";
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    for (const char* key : {"topic", "event", "payload", "ref"}) {
        if (!object.contains(QLatin1StringView(key))) {
            why = QString("no \"%1\"").arg(key);
            return std::nullopt;
        }
    }
    const QJsonValue topic = object.value("topic");
    const QJsonValue event = object.value("event");
    const QJsonValue payload = object.value("payload");
    const QJsonValue ref = object.value("ref");
    if (!topic.isString() || !event.isString()) {
        why = "\"topic\" and \"event\" must be strings";
        return std::nullopt;
    }
    if (!payload.isObject()) {
        why = "\"payload\" must be an object";
        return std::nullopt;
    }
    if (!ref.isString() && !ref.isDouble() && !ref.isNull()) {
        why = "\"ref\" must be a string, a number or null";
        return std::nullopt;
    }
    return Frame{topic.toString(), event.toString(), payload.toObject(), ref};
}

QString okReply(const QString& topic, const QJsonValue& ref, const QJsonObject& response) {
    return reply(topic, ref, "ok", response);
}

QString errorReply(const QString& topic, const QJsonValue& ref, const QString& reason) {
    return reply(topic, ref, "error", {{"reason", reason}});
}

QString broadcastFrame(const QString& topic, const QJsonObject& envelope) {
    return serialize(topic, "broadcast", envelope, QJsonValue::Null);
}

QString closeFrame(const QString& topic, const QJsonValue& ref) {
    return serialize(topic, "phx_close", {}, ref);
}

}  // namespace zg::relay
