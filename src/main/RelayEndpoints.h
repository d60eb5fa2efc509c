#pragma once

#include <QHostAddress>
#include <string>

#include "relay/ListenAddress.h"

namespace zg {

// Where the embedded relay listens for `listen`: every address when no host is given.
QHostAddress listenHost(const ListenAddress& listen);

// How this machine's own link reaches the embedded relay on `port`: over loopback when it
// listens everywhere.
std::string embeddedRelayUrl(const ListenAddress& listen, quint16 port);

// Where a phone finds the page the embedded relay serves: the LAN address when it listens
// everywhere.
std::string embeddedPhoneUrl(const ListenAddress& listen, quint16 port);

}  // namespace zg
