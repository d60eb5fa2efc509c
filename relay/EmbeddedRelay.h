#pragma once

#include <QHostAddress>

#include <memory>
#include <string>

#include "relay/RelayLimits.h"

namespace zg {

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
    // Closes every connection and ends the thread; blocks until it has ended.
    void stop();

private:
    class Thread;

    RelayLimits limits_;
    std::unique_ptr<Thread> thread_;
    quint16 port_ = 0;
};

}  // namespace zg
