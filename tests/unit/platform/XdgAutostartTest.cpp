#include "platform/linux/XdgAutostart.h"

#include <gtest/gtest.h>

#include <fstream>

namespace zg {
namespace {

namespace fs = std::filesystem;

class XdgAutostartTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("zg-autostart-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string read() const {
        std::ifstream file(entry());
        return {std::istreambuf_iterator<char>(file), {}};
    }
    fs::path entry() const { return dir_ / "autostart" / "zephyrglint.desktop"; }

    fs::path dir_;
};

TEST_F(XdgAutostartTest, WritesAnEntryThatStartsTheAgentInTheTrayAndRemovesIt) {
    XdgAutostart login(entry(), "/opt/zephyr glint/bin/zephyrglint");
    EXPECT_FALSE(login.enabled());
    EXPECT_EQ(login.setEnabled(true), std::nullopt);
    EXPECT_TRUE(login.enabled());
    EXPECT_NE(read().find("Exec=\"/opt/zephyr glint/bin/zephyrglint\" --tray\n"),
              std::string::npos);
    EXPECT_EQ(login.setEnabled(false), std::nullopt);
    EXPECT_FALSE(login.enabled());
    EXPECT_FALSE(fs::exists(entry()));
}

TEST_F(XdgAutostartTest, AnEntryTheUserHidOrDisabledCountsAsOff) {
    XdgAutostart login(entry(), "/usr/bin/zephyrglint");
    for (const char* line : {"Hidden=true", "X-GNOME-Autostart-enabled = false"}) {
        fs::create_directories(entry().parent_path());
        std::ofstream(entry()) << "[Desktop Entry]\nType=Application\n" << line << "\n";
        EXPECT_FALSE(login.enabled()) << line;
    }
    // The same key in another group is not the entry's.
    std::ofstream(entry())
        << "[Desktop Entry]\nType=Application\n[Desktop Action x]\nHidden=true\n";
    EXPECT_TRUE(login.enabled());
}

TEST_F(XdgAutostartTest, AFailedWriteIsReportedAndNothingIsLeftBehind) {
    fs::create_directories(dir_);
    std::ofstream(dir_ / "autostart") << "a file where the folder should be";
    XdgAutostart login(entry(), "/usr/bin/zephyrglint");
    const auto error = login.setEnabled(true);
    ASSERT_TRUE(error);
    EXPECT_NE(error->find(entry().string()), std::string::npos);
    EXPECT_FALSE(login.enabled());
}

TEST(DesktopExecArgument, QuotesWhatTheExecKeyWouldOtherwiseExpand) {
    EXPECT_EQ(desktopExecArgument("/a b/c"), "\"/a b/c\"");
    EXPECT_EQ(desktopExecArgument("/$HOME/50%/x\"y\\z`"),
              "\"/\\\\$HOME/50%%/x\\\\\"y\\\\\\\\z\\\\`\"");
}

}  // namespace
}  // namespace zg
