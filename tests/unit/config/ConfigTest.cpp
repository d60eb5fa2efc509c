#include "config/Config.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>

#include "MemoryStore.h"
#include "ScratchDir.h"
#include "config/JsonFileStore.h"

// The calls that make a write durable, in order, seen through the linker's --wrap; a failing
// fsync stands for a full disk.
static std::vector<std::string> syscalls;
static bool fsyncFails = false;
extern "C" int __real_fsync(int fd);
extern "C" int __real_rename(const char* from, const char* to);
extern "C" int __wrap_fsync(int fd) {
    syscalls.push_back("fsync");
    return fsyncFails ? (errno = ENOSPC, -1) : __real_fsync(fd);
}
extern "C" int __wrap_rename(const char* from, const char* to) {
    syscalls.push_back("rename");
    return __real_rename(from, to);
}

namespace zg::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kPage = "https://192.168.1.20:8443/remote";
const std::string kCode = "23456789ABCDEFGH";

TEST(Config, AnInvalidCodeIsReplacedAloneMistypedValuesReadAsDefaultsAndTheLinkCarriesTheCode) {
    for (const json& code : {json(), json(42), json("ABCDEFGHJKMNPQR"), json("aBCDEFGHJKMNPQRS"),
                             json("0BCDEFGHJKMNPQRS"), json(kCode)}) {
        SCOPED_TRACE(code.dump());
        MemoryStore store;
        store.settings = {{"speed", 2.5}};
        if (!code.is_null()) store.settings["code"] = code;
        Config config(store, kPage);
        EXPECT_EQ(config.isNew(), !code.is_string());  // no code at all, as on a first run
        EXPECT_TRUE(Config::valid(config.code()));
        EXPECT_EQ(store.saves, code == kCode ? 0 : 1);
        EXPECT_EQ(config.speed(), 2.5);
    }

    MemoryStore store;
    store.settings = {{"code", kCode}, {"speed", "fast"}, {"halo", "false"}, {"phoneUrl", 7}};
    Config config(store, kPage);
    EXPECT_EQ(std::pair(config.speed(), config.ring()), std::pair(1.0, true));
    EXPECT_EQ(config.link(), kPage + "?k=" + kCode);
    store.settings["phoneUrl"] = "https://example.org/remote?theme=dark";
    EXPECT_EQ(config.link(), "https://example.org/remote?theme=dark&k=" + kCode);
}

TEST(Config, NewCodeDiscardsRawValuesThatWouldFavourLowIndices) {
    // 2^64 = 16 (mod 31): the 16 lowest raw values would make indices 0-15 more likely.
    std::vector<std::uint64_t> raw;
    for (std::uint64_t i = 0; i < 16; ++i) raw.insert(raw.end(), {i, 15 - i, 16 + i});
    std::size_t next = 0;
    EXPECT_EQ(Config::newCode([&] { return raw.at(next++); }), "JKMNPQRSTUVWXYZ2");
    EXPECT_EQ(next, raw.size());
    EXPECT_NE(Config::newCode(), Config::newCode());  // the real source is not constant
}

TEST(SettingsPath, FollowsXdgConfigHomeUnlessUnsetOrRelative) {
    EXPECT_EQ(settingsPath("/cfg", "/home/u"), "/cfg/zephyrglint/settings.json");
    EXPECT_EQ(settingsPath("", "/home/u"), "/home/u/.config/zephyrglint/settings.json");
    EXPECT_EQ(settingsPath("cfg", "/home/u"), "/home/u/.config/zephyrglint/settings.json");
}

struct JsonFileStoreTest : testing::Test {
    ScratchDir dir;
    fs::path file = dir.root / "zephyrglint" / "settings.json";

    // The contents of the files next to the settings whose names contain `infix`.
    std::multiset<std::string> siblings(const std::string& infix) const {
        std::multiset<std::string> found;
        for (const auto& entry : fs::directory_iterator(file.parent_path()))
            if (entry.path().filename().string().find(infix) != std::string::npos)
                found.insert(readFile(entry.path()));
        return found;
    }
};

TEST_F(JsonFileStoreTest, FirstRunCreatesAPrivateFileThatKeepsUnknownKeysAndSeesEdits) {
    JsonFileStore store(file);
    Config config(store, kPage);
    EXPECT_TRUE(config.isNew());
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    json edited = json::parse(readFile(file));  // as the user might, while the agent runs
    edited["theme"] = {{"dark", {1, 2}}};
    edited["phoneUrl"] = "https://phone.example/remote";
    writeFile(file, edited.dump());
    EXPECT_EQ(config.link(), "https://phone.example/remote?k=" + config.code());
    syscalls.clear();
    config.setRing(false);
    EXPECT_EQ(syscalls, (std::vector<std::string>{"fsync", "rename", "fsync"}));  // file, folder
    edited["halo"] = false;
    EXPECT_EQ(JsonFileStore(file).load(), edited);  // as the next run reads it
}

TEST_F(JsonFileStoreTest, AnUnusableFileIsKeptAsideAndAFailedWriteLeavesTheFileIntact) {
    const std::multiset<std::string> bad{std::string("{\"code\": \"AB\xff\0", 14), "[1, 2]", ""};
    for (const std::string& bytes : bad) {
        writeFile(file, bytes);
        JsonFileStore store(file);
        Config config(store, kPage);
        EXPECT_TRUE(config.isNew());
        EXPECT_EQ(json::parse(readFile(file))["code"], config.code());
    }
    EXPECT_EQ(siblings(".corrupt-"), bad);  // byte for byte

    const std::string old = readFile(file);
    JsonFileStore store(file);
    fsyncFails = true;
    store.save({{"code", kCode}, {"speed", 2}});
    fsyncFails = false;
    EXPECT_EQ(store.load()["speed"], 2);  // kept in memory
    EXPECT_EQ(readFile(file), old);
    EXPECT_TRUE(siblings(".tmp-").empty());
}

}  // namespace
}  // namespace zg::test
