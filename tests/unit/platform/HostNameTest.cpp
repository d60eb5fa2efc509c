#include "platform/HostName.h"

#include <gtest/gtest.h>

namespace zg {
namespace {

TEST(HostName, PrettyNameIsReadUnquotedFromMachineInfo) {
    EXPECT_EQ(prettyHostName("CHASSIS=laptop\nPRETTY_HOSTNAME=\"Anna's \\\"Work\\\" Laptop\"\n"),
              "Anna's \"Work\" Laptop");
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME='Büro'"), "Büro");
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=plain"), "plain");
    EXPECT_EQ(prettyHostName("CHASSIS=desktop\n# PRETTY_HOSTNAME=commented\n"), "");
    EXPECT_EQ(prettyHostName(""), "");
}

}  // namespace
}  // namespace zg
