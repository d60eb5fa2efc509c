#include <gtest/gtest.h>

#include "relay/ListenAddress.h"

namespace zg {
namespace {

TEST(ListenAddressTest, AcceptsIpLiteralsAndEveryInterface) {
    const std::pair<const char*, ListenAddress> cases[] = {
        {"0.0.0.0:8787", {"0.0.0.0", 8787}},
        {":9000", {"", 9000}},
        {"[::]:9000", {"::", 9000}},
        {"[::1]:0", {"::1", 0}},
        {"localhost:65535", {"127.0.0.1", 65535}},
        {"[fe80::1%eth0]:80", {"fe80::1%eth0", 80}},
        {"[::ffff:192.168.0.1]:80", {"::ffff:192.168.0.1", 80}},
        {"[1:2:3:4:5:6:7:8]:80", {"1:2:3:4:5:6:7:8", 80}},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_EQ(parseListenAddress(text, error), expected) << text << ": " << error;
        EXPECT_EQ(formatListenAddress(expected),
                  text == std::string("localhost:65535") ? "127.0.0.1:65535" : text);
    }
}

TEST(ListenAddressTest, RefusesWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"8787", "has no port"},
        {"1.2.3.4:", "port must be"},
        {"1.2.3.4:65536", "port must be"},
        {"1.2.3.4:+80", "port must be"},
        {"1.2.3:80", "not an IP address"},
        {"256.0.0.1:80", "not an IP address"},
        {"01.2.3.4:80", "not an IP address"},
        {"example.com:80", "host name"},
        {"::1:80", "needs brackets"},
        {"[::1:80", "no ']'"},
        {"[::1]80", "\":PORT\""},
        {"[1::2::3]:80", "not an IPv6"},
        {"[1:2:3:4:5:6:7:8:9]:80", "not an IPv6"},
        {"[12345::]:80", "not an IPv6"},
        {"[fe80::1%]:80", "not an IPv6"},
    };
    for (const auto& [text, reason] : cases) {
        std::string error;
        EXPECT_FALSE(parseListenAddress(text, error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << text << ": " << error;
    }
}

}  // namespace
}  // namespace zg
