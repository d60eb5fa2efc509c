#include "LanAddress.h"

#include <QNetworkInterface>

namespace zg {

QString lanAddress() {
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        if ((nic.flags() & wanted) != wanted || nic.flags() & QNetworkInterface::IsLoopBack) {
            continue;
        }
        // Virtual bridges of containers and VMs are unreachable from a phone.
        if (nic.type() == QNetworkInterface::Virtual) continue;
        for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback() &&
                !ip.isLinkLocal()) {
                return ip.toString();
            }
        }
    }
    return QStringLiteral("127.0.0.1");
}

}  // namespace zg
