#include "config/Config.h"
#include "config/JsonFileStore.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zg {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string phonePage = "https://192.168.1.20:8443/remote";
const std::string validCode = "23456789ABCDEFGH";

class JsonFileStoreTest : public testing::Test {
protected:
    void SetUp() override {
        std::string dir = (fs::temp_directory_path() / "zg-config-XXXXXX").string();
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        root = dir;
        file = root / "zephyrglint" / "settings.json";
    }
    void TearDown() override { fs::remove_all(root); }

    void put(const std::string& bytes) {
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::string bytesOf(const fs::path& path) {
        std::ostringstream out;
        out << std::ifstream(path, std::ios::binary).rdbuf();
        return out.str();
    }
    std::vector<fs::path> siblings(const std::string& infix) const {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(file.parent_path())) {
            if (entry.path().filename().string().find(infix) != std::string::npos)
                found.push_back(entry.path());
        }
        return found;
    }
    // Runs `save` in a child process that may write at most 64 bytes to any file.
    int saveWithTinyFileLimit(bool crash) {
        pid_t child = fork();
        if (child == 0) {
            rlimit none{0, 0}, tiny{64, 64};
            setrlimit(RLIMIT_CORE, &none);
            setrlimit(RLIMIT_FSIZE, &tiny);
            if (!crash) signal(SIGXFSZ, SIG_IGN);
            JsonFileStore store(file);
            json big = {{"code", validCode}, {"padding", std::string(1000, 'x')}};
            store.save(big);
            _exit(store.load() == big ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    }

    fs::path root, file;
};

TEST(SettingsPath, FollowsXdgConfigHomeUnlessUnsetOrRelative) {
    EXPECT_EQ(settingsPath("/cfg", "/home/u"), "/cfg/zephyrglint/settings.json");
    EXPECT_EQ(settingsPath("", "/home/u"), "/home/u/.config/zephyrglint/settings.json");
    EXPECT_EQ(settingsPath("cfg", "/home/u"), "/home/u/.config/zephyrglint/settings.json");
}

TEST_F(JsonFileStoreTest, FirstRunCreatesAPrivateFileThatTheNextRunReads) {
    JsonFileStore store(file);
    Config first(store, phonePage);
    EXPECT_TRUE(first.isNew());
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    JsonFileStore again(file);
    Config second(again, phonePage);
    EXPECT_FALSE(second.isNew());
    EXPECT_EQ(second.code(), first.code());
    second.setCode("\xff is not UTF-8");  // written all the same, replaced at the next start
    EXPECT_TRUE(Config::valid(Config(again, phonePage).code()));
}

TEST_F(JsonFileStoreTest, WritesKeepUnknownKeysAndSeeOutsideEdits) {
    put(R"({"code": ")" + validCode + R"(", "theme": {"dark": [1, 2]}})");
    JsonFileStore store(file);
    Config config(store, phonePage);
    config.setHalo(false);
    EXPECT_EQ(json::parse(bytesOf(file))["theme"], json::parse(R"({"dark": [1, 2]})"));

    json edited = json::parse(bytesOf(file));
    edited["phoneUrl"] = "https://phone.example/remote";
    put(edited.dump());
    EXPECT_EQ(config.link(), "https://phone.example/remote?k=" + validCode);
    EXPECT_FALSE(config.halo());
}

TEST_F(JsonFileStoreTest, UnusableFileIsKeptAsideByteForByteAndReplaced) {
    const std::string deep = "{\"a\": " + std::string(100000, '[') + std::string(100000, ']') + "}";
    const std::string huge = R"({"pad": ")" + std::string(JsonFileStore::maxFileSize, ' ') + "\"}";
    std::vector<std::string> kept;
    for (const std::string& bad : {std::string("{\"code\": \"AB\xff\0", 14), std::string("[1, 2]"),
                                   std::string(""), deep, huge}) {
        put(bad);
        JsonFileStore store(file);
        Config config(store, phonePage);
        EXPECT_TRUE(config.isNew());
        EXPECT_EQ(json::parse(bytesOf(file))["code"], config.code());
        kept.push_back(bad);
    }
    std::vector<std::string> aside;
    for (const fs::path& path : siblings(".corrupt-")) aside.push_back(bytesOf(path));
    std::sort(aside.begin(), aside.end());
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(aside, kept);
}

TEST_F(JsonFileStoreTest, AWriteThatCrashesOrFailsLeavesTheOldFileIntact) {
    const std::string old = R"({"code": ")" + validCode + R"(", "speed": 3})";
    put(old);
    const int crashed = saveWithTinyFileLimit(true);
    ASSERT_TRUE(WIFSIGNALED(crashed) && WTERMSIG(crashed) == SIGXFSZ);
    EXPECT_EQ(bytesOf(file), old);
    EXPECT_EQ(siblings(".tmp-").size(), 1u);  // the stray half-written file

    const int failed = saveWithTinyFileLimit(false);  // and keeps the values in memory
    EXPECT_TRUE(WIFEXITED(failed) && WEXITSTATUS(failed) == 0);
    EXPECT_EQ(bytesOf(file), old);
    EXPECT_EQ(siblings(".tmp-").size(), 1u);  // a failed write cleans up after itself

    JsonFileStore store(file);
    Config config(store, phonePage);
    EXPECT_EQ(config.code(), validCode);
    config.setSpeed(0.5);
    EXPECT_EQ(JsonFileStore(file).load().at("speed"), 0.5);
}

}  // namespace
}  // namespace zg
