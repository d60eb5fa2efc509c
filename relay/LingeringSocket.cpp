#include "relay/LingeringSocket.h"

#include <QTimer>

#include <sys/socket.h>

#include <chrono>

namespace zg::relay {

namespace {

using namespace std::chrono_literals;

constexpr auto kLinger = 5s;

}  // namespace

void LingeringSocket::close() {
    if (lingering_ || state() != ConnectedState) return QTcpSocket::close();
    lingering_ = true;
    // Nobody reads from here on; the peer's closing reply is not needed either.
    disconnect(this, &QIODevice::readyRead, nullptr, nullptr);
    const auto drop = [this] { skip(bytesAvailable()); };
    drop();
    connect(this, &QIODevice::readyRead, this, drop);
    const auto shutWhenSent = [this] {
        if (bytesToWrite() == 0) ::shutdown(int(socketDescriptor()), SHUT_WR);
    };
    connect(this, &QIODevice::bytesWritten, this, shutWhenSent);
    flush();
    shutWhenSent();
    QTimer::singleShot(kLinger, this, &QAbstractSocket::abort);
}

}  // namespace zg::relay
