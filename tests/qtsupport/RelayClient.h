#pragma once

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QWebSocket>

#include <functional>

#include "Spin.h"
#include "relay/RelayServer.h"

namespace zg::test {

// A reply's "status", and the "reason" of an error reply.
inline QString status(const QJsonObject& frame) {
    return frame["payload"].toObject()["status"].toString();
}
inline QString reason(const QJsonObject& frame) {
    return frame["payload"].toObject()["response"].toObject()["reason"].toString();
}

// A WebSocket client of the relay under test that records every frame it receives.
class RelayClient {
public:
    explicit RelayClient(quint16 port) {
        QObject::connect(&socket_, &QWebSocket::textMessageReceived, [this](const QString& text) {
            received_.append(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        socket_.open(QUrl(QString("ws://127.0.0.1:%1%2?apikey=test&vsn=1.0.0")
                              .arg(port)
                              .arg(RelayServer::webSocketPath)));
        spinUntil([this] { return socket_.state() != QAbstractSocket::ConnectingState; });
    }

    bool isOpen() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    bool waitClosed() {
        return spinUntil([this] { return socket_.state() == QAbstractSocket::UnconnectedState; });
    }
    // The close code the relay gave, once closed.
    QWebSocketProtocol::CloseCode closeCode() const { return socket_.closeCode(); }
    // Stops taking data off the connection, so that the relay's sends back up, or resumes.
    void pauseReading(bool paused) { socket_.setReadBufferSize(paused ? 1 : 0); }

    void send(const QJsonObject& frame) {
        sendRaw(QJsonDocument(frame).toJson(QJsonDocument::Compact));
    }
    void sendRaw(const QByteArray& message, bool binary = false) {
        binary ? socket_.sendBinaryMessage(message)
               : socket_.sendTextMessage(QString::fromUtf8(message));
    }
    // Sends a frame with the next ref and waits for the reply carrying it.
    QJsonObject request(const QString& topic, const QString& event, const QJsonObject& payload) {
        const QString ref = QString::number(++lastRef_);
        send({{"topic", topic}, {"event", event}, {"payload", payload}, {"ref", ref}});
        return waitFor(
            [&](auto& frame) { return frame["event"] == "phx_reply" && frame["ref"] == ref; });
    }
    QJsonObject join(const QString& topic, const QJsonObject& broadcastConfig = {}) {
        const QJsonObject config{{"broadcast", broadcastConfig}, {"private", false}};
        return request(topic, "phx_join", {{"config", config}});
    }
    void broadcast(const QString& topic, const QString& event, const QJsonObject& payload) {
        const QJsonObject envelope{{"type", "broadcast"}, {"event", event}, {"payload", payload}};
        const QString ref = QString::number(++lastRef_);
        send({{"topic", topic}, {"event", "broadcast"}, {"ref", ref}, {"payload", envelope}});
    }
    // A heartbeat round trip: afterwards every frame the relay sent earlier has arrived.
    void sync() { EXPECT_EQ(status(request("phoenix", "heartbeat", {})), "ok"); }

    // The first frame received that matches; an empty one if none comes while the socket is open.
    QJsonObject waitFor(const std::function<bool(const QJsonObject&)>& match) {
        QJsonObject found;
        spinUntil([&] {
            const auto it = std::find_if(received_.cbegin(), received_.cend(), match);
            if (it != received_.cend()) found = *it;
            return it != received_.cend() || !isOpen();
        });
        return found;
    }
    int count(const QString& event) const {
        return std::ranges::count_if(received_,
                                     [&](auto& frame) { return frame["event"] == event; });
    }
    // The payloads of the application events `event` received so far.
    QList<QJsonObject> events(const QString& event) const {
        QList<QJsonObject> out;
        for (const QJsonObject& frame : received_) {
            const QJsonObject envelope = frame["payload"].toObject();
            if (frame["event"] == "broadcast" && envelope["event"] == event)
                out.append(envelope["payload"].toObject());
        }
        return out;
    }
    const QList<QJsonObject>& received() const { return received_; }

private:
    QWebSocket socket_;
    QList<QJsonObject> received_;
    int lastRef_ = 0;
};

}  // namespace zg::test
