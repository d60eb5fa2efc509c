#pragma once

#include <QHostAddress>
#include <QHttpServer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>
#include <string>

#include "relay/Channels.h"
#include "relay/RelayLimits.h"
#include "relay/WebAssets.h"

class QTcpServer;

namespace zg {

namespace relay {
class Connection;
struct LocalPipe;
}  // namespace relay

// The relay: Phoenix Channels 1.0.0 over WebSocket at webSocketPath, the phone page beside it
// on the same port. Lives on the thread that creates it and is driven by that thread's event loop.
class RelayServer : public QObject {
    Q_OBJECT
public:
    static constexpr const char* webSocketPath = "/realtime/v1/websocket";

    explicit RelayServer(RelayLimits limits = {}, QObject* parent = nullptr);
    ~RelayServer() override;

    // Starts listening; port 0 picks a free one. False when it cannot, and `error` says why.
    bool listen(const QHostAddress& address, quint16 port, std::string& error);
    quint16 serverPort() const;

    // Makes the relay's end of a local link (see openLocalLink) and tells its socket that it is
    // open. It is this process's own agent: no limit on connections keeps it out.
    void adoptLocal(std::shared_ptr<relay::LocalPipe> pipe);

private:
    void accept();
    void adopt(relay::Connection* connection);
    void sweepIdle();

    RelayLimits limits_;
    QHttpServer http_;
    QTcpServer* tcp_ = nullptr;
    relay::WebAssets assets_;
    relay::Channels channels_;
    QList<relay::Connection*> connections_;
    QTimer idleSweep_;
    quint64 lastId_ = 0;
};

}  // namespace zg
