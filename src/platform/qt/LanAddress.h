#pragma once

#include <QString>

namespace zg {

// The IPv4 address a phone on the same network most likely reaches this machine at:
// the first address of an interface that is up, running and not loopback; "127.0.0.1" when
// there is none.
QString lanAddress();

}  // namespace zg
