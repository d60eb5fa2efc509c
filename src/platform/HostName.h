#pragma once

#include <string>
#include <string_view>

namespace zg {

// The name this computer shows to phones: the user's chosen ("pretty") name, else the host
// name, else "Computer". Reads the system once per call.
std::string hostName();

// The PRETTY_HOSTNAME of a machine-info file (shell-style assignments), unquoted; empty when
// the file sets none.
std::string prettyHostName(std::string_view machineInfo);

}  // namespace zg
