#pragma once

#include <QHostAddress>

#include <memory>
#include <string>
#include <vector>

#include "platform/WebSocket.h"
#include "relay/RelayLimits.h"

namespace zg {

namespace relay {
struct LocalPipe;
}

// A RelayServer on a thread of its own, with its own event loop. It shares no state with the
// thread that owns this object; all members are called from that one thread.
class EmbeddedRelay {
public:
    explicit EmbeddedRelay(RelayLimits limits = {});
    ~EmbeddedRelay();

    EmbeddedRelay(const EmbeddedRelay&) = delete;
    EmbeddedRelay& operator=(const EmbeddedRelay&) = delete;

    // Blocks until the relay listens (true) or has failed to (false, and `error` says why).
    // Port 0 picks a free port.
    bool start(const QHostAddress& address, quint16 port, std::string& error);
    // The port listened on, 0 when not running.
    quint16 port() const { return port_; }
    // Closes every connection and ends the thread; blocks until it has ended. Local sockets fail.
    void stop();

    // A socket of this thread whose other end is a connection of this relay, with no network in
    // between: for the agent that embeds the relay. Nothing when the relay is not running.
    std::unique_ptr<WebSocket> connectLocally();

private:
    class Thread;

    RelayLimits limits_;
    std::unique_ptr<Thread> thread_;
    quint16 port_ = 0;
    std::vector<std::weak_ptr<relay::LocalPipe>> localPipes_;
};

}  // namespace zg
