#include <gtest/gtest.h>

#include <QProcess>

#include "relay/ListenAddress.h"

namespace zg {
namespace {

TEST(ListenAddressTest, AcceptsIpLiteralsAndEveryInterfaceAndRefusesTheRestWithAReason) {
    // An empty reason: accepted, and formatted back as written.
    const std::tuple<const char*, ListenAddress, const char*> cases[] = {
        {"0.0.0.0:8787", {"0.0.0.0", 8787}, ""},
        {":9000", {"", 9000}, ""},
        {"[::]:9000", {"::", 9000}, ""},
        {"[::1]:0", {"::1", 0}, ""},
        {"[fe80::1%eth0]:80", {"fe80::1%eth0", 80}, ""},
        {"[::ffff:192.168.0.1]:80", {"::ffff:192.168.0.1", 80}, ""},
        {"[1:2:3:4:5:6:7:8]:80", {"1:2:3:4:5:6:7:8", 80}, ""},
        {"8787", {}, "has no port"},
        {"1.2.3.4:", {}, "port must be"},
        {"1.2.3.4:65536", {}, "port must be"},
        {"1.2.3.4:+80", {}, "port must be"},
        {"1.2.3:80", {}, "not an IP address"},
        {"256.0.0.1:80", {}, "not an IP address"},
        {"01.2.3.4:80", {}, "not an IP address"},
        {"example.com:80", {}, "host name"},
        {"::1:80", {}, "needs brackets"},
        {"[::1:80", {}, "no ']'"},
        {"[::1]80", {}, "\":PORT\""},
        {"[1::2::3]:80", {}, "not an IPv6"},
        {"[1:2:3:4:5:6:7:8:9]:80", {}, "not an IPv6"},
        {"[12345::]:80", {}, "not an IPv6"},
        {"[fe80::1%]:80", {}, "not an IPv6"},
    };
    for (const auto& [text, expected, reason] : cases) {
        SCOPED_TRACE(text);
        std::string error;
        const std::optional<ListenAddress> parsed = parseListenAddress(text, error);
        if (*reason) {
            EXPECT_FALSE(parsed);
            EXPECT_NE(error.find(reason), std::string::npos) << error;
        } else {
            EXPECT_EQ(parsed, expected) << error;
            EXPECT_EQ(formatListenAddress(expected), text);
        }
    }
    std::string error;
    EXPECT_EQ(parseListenAddress("localhost:65535", error), (ListenAddress{"127.0.0.1", 65535}));
}

TEST(RelayExecutableTest, ExitsWith2OnABadCommandLine) {
    for (const QStringList& arguments :
         {QStringList{"--bogus"}, QStringList{"--listen", "::1:80"}, QStringList{"extra"}}) {
        QProcess bad;
        bad.start(ZG_RELAY_BINARY, arguments);
        ASSERT_TRUE(bad.waitForFinished(10'000));
        EXPECT_EQ(bad.exitCode(), 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(bad.readAllStandardError().startsWith("zephyrglint-relay: "));
    }
}

}  // namespace
}  // namespace zg
