#pragma once

#include <QByteArray>

#include <memory>
#include <utility>

#include "platform/WebSocket.h"
#include "relay/Connection.h"

namespace zg {

class RelayServer;

namespace relay {

// What the two ends of one local link share.
struct LocalPipe;

// The relay's end of a local link: a connection like any other, whose frames go to a socket in
// the same process. Made and used on the relay's thread.
class LocalConnection final : public Connection {
    Q_OBJECT
public:
    LocalConnection(std::shared_ptr<LocalPipe> pipe, quint64 id, const RelayLimits& limits);
    ~LocalConnection() override;

    // Tells the socket that it is open.
    void opened();
    void send(const QString& frame) override;
    void close(QWebSocketProtocol::CloseCode code, const QString& reason) override;

    // From the socket.
    void take(const QByteArray& message);
    void peerClosed(int code);

private:
    std::shared_ptr<LocalPipe> pipe_;
};

// A client WebSocket of the agent's seam whose other end is a connection of `server`, which runs
// on another thread of this process: the agent's own link to the relay it embeds. Frames cross
// the threads as they are, with no TCP, WebSocket framing or masking between them. Made and used
// on the agent's thread; the pipe is for hangUp().
std::pair<std::unique_ptr<WebSocket>, std::shared_ptr<LocalPipe>> openLocalLink(
    RelayServer* server);

// Fails the socket of `pipe`, on the agent's thread, once the relay's thread has ended: a
// connection that was about to be made there never will be.
void hangUp(LocalPipe& pipe);

}  // namespace relay
}  // namespace zg
