#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zg {

// Where a server listens. Plain C++ so that any command line can use it.
struct ListenAddress {
    std::string host;  // an IPv4 or IPv6 literal without brackets; empty means every interface
    std::uint16_t port = 0;

    bool operator==(const ListenAddress&) const = default;
};

// Parses "HOST:PORT", ":PORT" (every interface, IPv4 and IPv6) or "[IPV6]:PORT". HOST is an IP
// literal or "localhost"; PORT is 0 to 65535, 0 meaning any free port. On failure returns
// nullopt and sets `error` to a sentence saying what is wrong.
std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error);

// The inverse: "1.2.3.4:80", "[::1]:80", ":80".
std::string formatListenAddress(const ListenAddress& address);

}  // namespace zg
