#pragma once

#include <QWebSocket>

#include <memory>

#include "relay/Connection.h"

namespace zg::relay {

// A peer on a WebSocket: the backlog that may queue for it, and a close it cannot stall.
class WebSocketConnection final : public Connection {
    Q_OBJECT
public:
    WebSocketConnection(std::unique_ptr<QWebSocket> socket, quint64 id, const RelayLimits& limits);
    ~WebSocketConnection() override;

    QUrl requestUrl() const { return socket_->requestUrl(); }

    // A receiver whose backlog passes the bound is disconnected instead.
    void send(const QString& frame) override;
    // Sends a close frame; a peer that has not completed the close after a grace period (it may
    // not be reading at all) is cut off.
    void close(QWebSocketProtocol::CloseCode code, const QString& reason) override;

private:
    std::unique_ptr<QWebSocket> socket_;
};

}  // namespace zg::relay
