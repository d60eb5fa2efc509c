#pragma once

#include <QTcpSocket>

namespace zg::relay {

// A TCP socket whose close does not reset a connection the peer is still sending on. Closed
// with input unread, a socket is reset by the kernel, and the peer can lose what was last sent
// to it: the refusal that says why it is cut off. Qt's WebSocket closes its socket right after
// its close frame. This one, asked to close, shuts only its sending side once everything
// written is out, and drops what still comes in until the peer closes, or a few seconds pass.
class LingeringSocket final : public QTcpSocket {
public:
    using QTcpSocket::QTcpSocket;

    void close() override;

private:
    bool lingering_ = false;
};

}  // namespace zg::relay
