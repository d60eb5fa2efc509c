#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/HostName.h"
#include "platform/linux/XdgAutostart.h"

namespace zg {
namespace {

namespace fs = std::filesystem;

TEST(HostName, PrettyNameIsReadUnquotedFromMachineInfo) {
    EXPECT_EQ(prettyHostName("CHASSIS=laptop\nPRETTY_HOSTNAME=\"Anna's \\\"Work\\\" Laptop\"\n"),
              "Anna's \"Work\" Laptop");
    EXPECT_EQ(prettyHostName("CHASSIS=desktop\n# PRETTY_HOSTNAME=commented\n"), "");
}

struct XdgAutostartTest : testing::Test {
    fs::path dir = fs::temp_directory_path() / ("zg-autostart-" + std::to_string(getpid()));
    fs::path entry = dir / "autostart" / "zephyrglint.desktop";

    XdgAutostartTest() { fs::remove_all(dir); }
    ~XdgAutostartTest() override { fs::remove_all(dir); }
    void put(const std::string& text) {
        fs::create_directories(entry.parent_path());
        std::ofstream(entry) << "[Desktop Entry]\nType=Application\n" << text;
    }
};

TEST_F(XdgAutostartTest, WritesAnEntryThatStartsTheAgentInTheTrayAndRemovesIt) {
    XdgAutostart login(entry, "/opt/zephyr glint/bin/zephyrglint");
    EXPECT_FALSE(login.enabled());
    EXPECT_EQ(login.setEnabled(true), std::nullopt);
    EXPECT_TRUE(login.enabled());
    std::ostringstream text;
    text << std::ifstream(entry).rdbuf();
    EXPECT_NE(text.str().find("Exec=\"/opt/zephyr glint/bin/zephyrglint\" --tray\n"),
              std::string::npos);
    EXPECT_EQ(login.setEnabled(false), std::nullopt);
    EXPECT_FALSE(fs::exists(entry));
}

TEST_F(XdgAutostartTest, AnEntryTheUserHidOrDisabledCountsAsOff) {
    XdgAutostart login(entry, "/usr/bin/zephyrglint");
    for (const char* line : {"Hidden=true\n", "X-GNOME-Autostart-enabled = false\n"}) {
        put(line);
        EXPECT_FALSE(login.enabled()) << line;
    }
    put("[Desktop Action x]\nHidden=true\n");  // the same key in another group is not the entry's
    EXPECT_TRUE(login.enabled());
}

TEST_F(XdgAutostartTest, AFailedWriteIsReported) {
    fs::create_directories(dir);
    std::ofstream(dir / "autostart") << "a file where the folder should be";
    XdgAutostart login(entry, "/usr/bin/zephyrglint");
    const auto error = login.setEnabled(true);
    ASSERT_TRUE(error);
    EXPECT_NE(error->find(entry.string()), std::string::npos);
}

TEST(DesktopExecArgument, QuotesWhatTheExecKeyWouldOtherwiseExpand) {
    EXPECT_EQ(desktopExecArgument("/$HOME/50%/x\"y\\z`"),
              "\"/\\\\$HOME/50%%/x\\\\\"y\\\\\\\\z\\\\`\"");
}

}  // namespace
}  // namespace zg
