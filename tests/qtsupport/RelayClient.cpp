#include "RelayClient.h"

#include <QJsonDocument>

#include "Spin.h"

namespace zg::test {

RelayClient::RelayClient(quint16 port, const QString& query) {
    QObject::connect(&socket_, &QWebSocket::textMessageReceived, [this](const QString& text) {
        received_.append(QJsonDocument::fromJson(text.toUtf8()).object());
    });
    socket_.open(
        QUrl(QString("ws://127.0.0.1:%1%2?%3").arg(port).arg(RelayServer::webSocketPath, query)));
    spinUntil([this] { return socket_.state() != QAbstractSocket::ConnectingState; });
}

bool RelayClient::waitClosed() {
    return spinUntil([this] { return socket_.state() == QAbstractSocket::UnconnectedState; });
}

void RelayClient::send(const QJsonObject& frame) {
    sendRaw(QJsonDocument(frame).toJson(QJsonDocument::Compact));
}

void RelayClient::sendRaw(const QByteArray& message, bool binary) {
    binary ? socket_.sendBinaryMessage(message)
           : socket_.sendTextMessage(QString::fromUtf8(message));
}

QJsonObject RelayClient::request(const QString& topic, const QString& event,
                                 const QJsonObject& payload) {
    const QString ref = QString::number(++lastRef_);
    send({{"topic", topic}, {"event", event}, {"payload", payload}, {"ref", ref}});
    return waitFor([&](const QJsonObject& frame) {
        return frame["event"] == "phx_reply" && frame["ref"] == ref;
    });
}

QJsonObject RelayClient::join(const QString& topic, const QJsonObject& broadcastConfig) {
    return request(topic, "phx_join",
                   {{"config", QJsonObject{{"broadcast", broadcastConfig}, {"private", false}}}});
}

void RelayClient::broadcast(const QString& topic, const QString& event,
                            const QJsonObject& payload) {
    send({{"topic", topic},
          {"event", "broadcast"},
          {"ref", QString::number(++lastRef_)},
          {"payload", QJsonObject{{"type", "broadcast"}, {"event", event}, {"payload", payload}}}});
}

void RelayClient::sync() {
    EXPECT_EQ(status(request("phoenix", "heartbeat", {})), "ok");
}

QJsonObject RelayClient::waitFor(const std::function<bool(const QJsonObject&)>& match) {
    QJsonObject found;  // stays empty when nothing matches in time
    spinUntil([&] {
        const auto it = std::find_if(received_.cbegin(), received_.cend(), match);
        if (it != received_.cend()) found = *it;
        return it != received_.cend() || !isOpen();
    });
    return found;
}

int RelayClient::count(const QString& event) const {
    return std::count_if(received_.cbegin(), received_.cend(),
                         [&](const QJsonObject& frame) { return frame["event"] == event; });
}

QList<QJsonObject> RelayClient::events(const QString& event) const {
    QList<QJsonObject> out;
    for (const QJsonObject& frame : received_) {
        const QJsonObject envelope = frame["payload"].toObject();
        if (frame["event"] == "broadcast" && envelope["event"] == event)
            out.append(envelope["payload"].toObject());
    }
    return out;
}

QString status(const QJsonObject& frame) {
    return frame["payload"].toObject()["status"].toString();
}

QString reason(const QJsonObject& frame) {
    return frame["payload"].toObject()["response"].toObject()["reason"].toString();
}

}  // namespace zg::test
