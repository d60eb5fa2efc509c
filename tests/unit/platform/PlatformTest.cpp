#include <gtest/gtest.h>

#include "ScratchDir.h"
#include "platform/HostName.h"
#include "platform/linux/XdgAutostart.h"

namespace zg::test {
namespace {

namespace fs = std::filesystem;

TEST(HostName, PrettyNameIsReadUnquotedFromMachineInfo) {
    EXPECT_EQ(prettyHostName("CHASSIS=laptop\nPRETTY_HOSTNAME=\"Anna's \\\"Work\\\" Laptop\"\n"),
              "Anna's \"Work\" Laptop");
    EXPECT_EQ(prettyHostName("CHASSIS=desktop\n# PRETTY_HOSTNAME=commented\n"), "");
}

TEST(XdgAutostart, WritesRemovesAndHonoursTheUsersOffSwitchesAndReportsAFailedWrite) {
    ScratchDir dir;
    const fs::path entry = dir.root / "autostart" / "zephyrglint.desktop";
    XdgAutostart login(entry, "/opt/zephyr glint/bin/zephyrglint");
    std::string error;
    EXPECT_TRUE(!login.enabled() && login.setEnabled(true, error) && login.enabled());
    EXPECT_NE(readFile(entry).find("Exec=\"/opt/zephyr glint/bin/zephyrglint\" --tray\n"),
              std::string::npos);
    EXPECT_TRUE(login.setEnabled(false, error));
    EXPECT_FALSE(fs::exists(entry));

    for (const char* line : {"Hidden=true\n", "X-GNOME-Autostart-enabled = false\n",
                             "[Desktop Action x]\nHidden=true\n"}) {  // another group's key
        writeFile(entry, std::string("[Desktop Entry]\nType=Application\n") + line);
        EXPECT_EQ(login.enabled(), line[0] == '[') << line;
    }
    fs::remove_all(entry.parent_path());
    writeFile(entry.parent_path(), "a file where the folder should be");
    EXPECT_TRUE(!login.setEnabled(true, error) && error.find(entry.string()) != std::string::npos);
}

TEST(DesktopExecArgument, QuotesWhatTheExecKeyWouldOtherwiseExpand) {
    EXPECT_EQ(desktopExecArgument("/$HOME/50%/x\"y\\z`"),
              "\"/\\\\$HOME/50%%/x\\\\\"y\\\\\\\\z\\\\`\"");
}

}  // namespace
}  // namespace zg::test
