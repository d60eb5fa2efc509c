#pragma once

#include <gtest/gtest.h>

#include <QJsonObject>
#include <QList>
#include <QWebSocket>

#include <functional>
#include <memory>

#include "relay/RelayServer.h"

namespace zg::test {

// A WebSocket client of the relay under test that records every frame it receives.
class RelayClient {
public:
    explicit RelayClient(quint16 port, const QString& query = "apikey=test&vsn=1.0.0");

    bool isOpen() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    bool waitClosed();
    // Stops taking data off the connection, so that the relay's sends back up, or resumes.
    void pauseReading(bool paused) { socket_.setReadBufferSize(paused ? 1 : 0); }

    void send(const QJsonObject& frame);
    void sendRaw(const QByteArray& message, bool binary = false);
    // Sends a frame with the next ref and waits for the reply carrying it.
    QJsonObject request(const QString& topic, const QString& event, const QJsonObject& payload);
    QJsonObject join(const QString& topic, const QJsonObject& broadcastConfig = {});
    void broadcast(const QString& topic, const QString& event, const QJsonObject& payload);
    // A heartbeat round trip: afterwards every frame the relay sent earlier has arrived.
    void sync();

    QJsonObject waitFor(const std::function<bool(const QJsonObject&)>& match);
    int count(const QString& event) const;
    // The payloads of the application events `event` received so far.
    QList<QJsonObject> events(const QString& event) const;
    const QList<QJsonObject>& received() const { return received_; }

private:
    QWebSocket socket_;
    QList<QJsonObject> received_;
    int lastRef_ = 0;
};

// A reply's "status", and the "reason" of an error reply.
QString status(const QJsonObject& frame);
QString reason(const QJsonObject& frame);

}  // namespace zg::test
