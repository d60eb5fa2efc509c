#include "relay/ListenAddress.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace zg {

namespace {

bool allOf(std::string_view text, int (*predicate)(int)) {
    return std::all_of(text.begin(), text.end(),
                       [predicate](char c) { return predicate(static_cast<unsigned char>(c)); });
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (size_t start = 0;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// Four decimal octets; leading zeros are refused since some readers take them as octal.
bool isIpv4(std::string_view text) {
    const std::vector<std::string_view> octets = split(text, '.');
    return octets.size() == 4 && std::all_of(octets.begin(), octets.end(), [](auto octet) {
               return !octet.empty() && octet.size() <= 3 && allOf(octet, isdigit) &&
                      (octet.size() == 1 || octet[0] != '0') &&
                      std::stoi(std::string(octet)) <= 255;
           });
}

bool isHexGroups(std::string_view text, size_t& groups) {
    groups = 0;
    if (text.empty()) return true;
    for (std::string_view group : split(text, ':')) {
        if (group.empty() || group.size() > 4 || !allOf(group, isxdigit)) return false;
        ++groups;
    }
    return true;
}

// Eight hex groups, "::" standing for one or more zero groups, the last two groups optionally
// written as IPv4, and an optional "%zone".
bool isIpv6(std::string_view text) {
    if (const size_t percent = text.find('%'); percent != std::string_view::npos) {
        const std::string_view zone = text.substr(percent + 1);
        if (zone.empty() || !std::all_of(zone.begin(), zone.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' ||
                       c == '.';
            })) {
            return false;
        }
        text = text.substr(0, percent);
    }
    size_t extra = 0;
    if (const size_t colon = text.rfind(':');
        colon != std::string_view::npos && text.find('.', colon) != std::string_view::npos) {
        if (!isIpv4(text.substr(colon + 1))) return false;
        // Keep the colon when it belongs to a "::" so the split below still sees it.
        text = text.substr(0, colon > 0 && text[colon - 1] == ':' ? colon + 1 : colon);
        extra = 2;
    }
    const size_t gap = text.find("::");
    size_t before = 0;
    size_t after = 0;
    if (gap == std::string_view::npos) return isHexGroups(text, before) && before + extra == 8;
    if (text.find("::", gap + 1) != std::string_view::npos) return false;
    return isHexGroups(text.substr(0, gap), before) && isHexGroups(text.substr(gap + 2), after) &&
           before + after + extra <= 7;
}

std::optional<std::uint16_t> parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5 || !allOf(text, isdigit)) return std::nullopt;
    const int port = std::stoi(std::string(text));
    if (port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error) {
    const std::string quoted = "\"" + std::string(text) + "\"";
    std::string_view host;
    std::string_view port;
    if (text.starts_with('[')) {
        const size_t close = text.find(']');
        if (close == std::string_view::npos) {
            error = quoted + " has no ']' after the IPv6 address";
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        if (text.substr(close + 1, 1) != ":") {
            error = quoted + " needs \":PORT\" after the ']'";
            return std::nullopt;
        }
        port = text.substr(close + 2);
        if (!isIpv6(host)) {
            error = quoted + ": \"" + std::string(host) + "\" is not an IPv6 address";
            return std::nullopt;
        }
    } else {
        const size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            error = quoted + " has no port: expected HOST:PORT, :PORT or [IPV6]:PORT";
            return std::nullopt;
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            error = quoted + ": an IPv6 address needs brackets, as in [::1]:8787";
            return std::nullopt;
        }
        if (host == "localhost") {
            host = "127.0.0.1";
        } else if (!host.empty() && !isIpv4(host)) {
            error = quoted + ": \"" + std::string(host) +
                    "\" is not an IP address (a host name other than localhost is not accepted)";
            return std::nullopt;
        }
    }
    const std::optional<std::uint16_t> number = parsePort(port);
    if (!number) {
        error = quoted + ": the port must be a number from 0 to 65535";
        return std::nullopt;
    }
    return ListenAddress{std::string(host), *number};
}

std::string formatListenAddress(const ListenAddress& address) {
    const bool ipv6 = address.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

}  // namespace zg
