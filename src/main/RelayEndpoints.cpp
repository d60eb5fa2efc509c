#include "main/RelayEndpoints.h"

#include "platform/qt/LanAddress.h"

namespace zg {

namespace {

bool isWildcard(const QHostAddress& host) {
    return host == QHostAddress(QHostAddress::Any) || host == QHostAddress(QHostAddress::AnyIPv4) ||
           host == QHostAddress(QHostAddress::AnyIPv6);
}

// "host:port" for a URL, with brackets around an IPv6 host.
QString authority(const QString& host, quint16 port) {
    const bool v6 = host.contains(':');
    return QString("%1%2%3:%4").arg(v6 ? "[" : "", host, v6 ? "]" : "").arg(port);
}

}  // namespace

QHostAddress listenHost(const ListenAddress& listen) {
    return listen.host.empty() ? QHostAddress(QHostAddress::Any)
                               : QHostAddress(QString::fromStdString(listen.host));
}

std::string embeddedRelayUrl(const ListenAddress& listen, quint16 port) {
    const QHostAddress host = listenHost(listen);
    const QString name = isWildcard(host) ? "127.0.0.1" : host.toString();
    return ("ws://" + authority(name, port) + "/realtime/v1/websocket?vsn=1.0.0").toStdString();
}

std::string embeddedPhoneUrl(const ListenAddress& listen, quint16 port) {
    const QHostAddress host = listenHost(listen);
    const QString name = isWildcard(host) ? lanAddress() : host.toString();
    return ("http://" + authority(name, port) + "/remote").toStdString();
}

}  // namespace zg
