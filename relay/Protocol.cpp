#include "relay/Protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

#include "link/JsonText.h"

namespace zg::relay {

namespace {

// Compact JSON of one value that is not an object or array, as QJsonDocument writes it.
void appendScalar(QByteArray& out, const QJsonValue& value) {
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    out += QByteArrayView(array).sliced(1, array.size() - 2);
}

void appendString(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    // toUtf8 makes a lone surrogate a '?', which Qt writes as its escape: text with a '?' takes
    // Qt's way. A frame's picture has none.
    if (!plainJsonText(std::string_view(utf8.data(), size_t(utf8.size()))) || utf8.contains('?')) {
        return appendScalar(out, text);
    }
    out += '"';
    out += utf8;
    out += '"';
}

// Compact JSON exactly as QJsonDocument writes it, which escapes strings a character at a time:
// for an agent's frame, a plain Base64 string of 100 kB or more, that was most of the relay's work.
void appendJson(QByteArray& out, const QJsonValue& value) {
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        out += '{';
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it != object.begin()) out += ',';
            appendString(out, it.key());
            out += ':';
            appendJson(out, it.value());
        }
        out += '}';
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        out += '[';
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (i > 0) out += ',';
            appendJson(out, array[i]);
        }
        out += ']';
    } else if (value.isString()) {
        appendString(out, value.toString());
    } else {
        appendScalar(out, value);
    }
}

QString serialize(const QString& topic, const QString& event, const QJsonObject& payload,
                  const QJsonValue& ref) {
    QByteArray out;
    appendJson(out,
               QJsonObject{{"topic", topic}, {"event", event}, {"payload", payload}, {"ref", ref}});
    return QString::fromUtf8(out);
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
