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
const std::string kSecret = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8";  // bytes 0 to 31

TEST(Config, AnInvalidCodeOrSecretIsReplacedInOneWriteMistypedValuesReadAsDefaults) {
    // Each bad value with a good or bad other; bad secrets are padded, short, of the other
    // alphabet, have a stray bit in their last character, or a letter outside ASCII (which
    // libsodium reads as digits).
    const json codes[] = {
        kCode, nullptr, 42, "ABCDEFGHJKMNPQR", "aBCDEFGHJKMNPQRS", "0BCDEFGHJKMNPQRS"};
    const json secrets =
        json::array({kSecret, nullptr, kSecret + "=", kSecret.substr(1), "+" + kSecret.substr(1),
                     kSecret.substr(0, 42) + "9", "\u00e9" + kSecret.substr(2)});
    for (const json& code : codes) {
        for (const json& secret : secrets) {
            SCOPED_TRACE(code.dump() + " " + secret.dump());
            MemoryStore store;
            store.settings = {{"speed", 2.5}, {"code", code}, {"secret", secret}};
            Config config(store, kPage);
            EXPECT_EQ(config.isNew(), !code.is_string());  // no code at all, as on a first run
            EXPECT_TRUE(Config::valid(config.code()) && Config::validSecret(config.secret()));
            EXPECT_EQ(std::pair(config.code() == kCode, config.secret() == kSecret),
                      std::pair(code == kCode, secret == kSecret));
            EXPECT_EQ(store.saves, code == kCode && secret == kSecret ? 0 : 1);  // one write
            EXPECT_EQ(config.speed(), 2.5);
        }
    }

    MemoryStore store;
    store.settings = {{"code", kCode}, {"secret", kSecret}, {"speed", "fast"}, {"halo", "false"}};
    store.settings["phoneUrl"] = 7;
    Config config(store, kPage);
    EXPECT_EQ(std::tuple(config.speed(), config.ring(), config.phoneUrl()),
              std::tuple(1.0, true, kPage));
    // The secret rides in the fragment, which browsers never send to a server.
    store.settings["phoneUrl"] = "https://example.org/remote?theme=dark#top";
    EXPECT_EQ(config.link(), "https://example.org/remote?theme=dark&k=" + kCode + "#s=" + kSecret);
    config.renew();
    EXPECT_NE(config.code(), kCode);
    EXPECT_NE(config.secret(), kSecret);
    EXPECT_EQ(store.saves, 1);
    std::set<char> drawn;  // fresh codes draw on the whole alphabet
    for (int i = 0; i < 50; ++i)
        std::ranges::copy(Config::newCode(), std::inserter(drawn, drawn.end()));
    EXPECT_EQ(drawn.size(), Config::alphabet.size());
}

TEST(Config, OnlyAnAbsoluteHttpOrHttpsPhoneUrlWithAHostIsUsedARefusalIsLoggedOnce) {
    const std::pair<std::string, bool> urls[] = {{"javascript:alert(1)", false},
                                                 {"ftp://example.org/remote", false},
                                                 {"/remote", false},
                                                 {"example.org/remote", false},
                                                 {"https:example.org", false},
                                                 {"https:///remote", false},
                                                 {"http://user@:8080/", false},
                                                 {"https://[]/", false},
                                                 {"https://a b.org/", false},
                                                 {"https://example.org:80x/", false},
                                                 {"http://10.0.0.2:8080/remote", true},
                                                 {"HTTPS://[::1]:8443/remote?x=1", true}};
    for (const auto& [url, good] : urls) {
        SCOPED_TRACE(url);
        MemoryStore store;
        store.settings = {{"code", kCode}, {"secret", kSecret}, {"phoneUrl", url}};
        Config config(store, kPage);
        std::vector<std::string> lines;
        config.log = [&](const std::string& line) { lines.push_back(line); };
        EXPECT_EQ(config.phoneUrl(), good ? url : kPage);
        EXPECT_EQ(config.link().starts_with(good ? url : kPage), true);
        ASSERT_EQ(lines.size(), good ? 0u : 1u);  // once, though read twice
        for (const std::string& line : lines) {
            EXPECT_TRUE(line.starts_with("the \"phoneUrl\" setting " + json(url).dump()) &&
                        line.ends_with("; the phone page is " + kPage + " instead"))
                << line;
        }
        EXPECT_EQ(store.settings["phoneUrl"], url);  // the user's text stays
    }
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
    EXPECT_EQ(fs::status(file.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    json edited = json::parse(readFile(file));  // as the user might, while the agent runs
    edited["theme"] = {{"dark", {1, 2}}};
    edited["phoneUrl"] = "https://phone.example/remote";
    writeFile(file, edited.dump());
    EXPECT_EQ(config.phoneUrl(), "https://phone.example/remote");
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
        EXPECT_TRUE(Config(store, kPage).isNew());
        EXPECT_TRUE(Config::valid(json::parse(readFile(file))["code"].get<std::string>()));
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

TEST_F(JsonFileStoreTest, SaysWhereAndWhySettingsCannotBeSavedBeforeAndAfterTrying) {
    const fs::path blocked = dir.root / "file" / "zephyrglint";
    const fs::path folder = dir.root / "folder" / "settings.json";
    writeFile(blocked.parent_path(), "");
    fs::create_directories(folder);
    const std::pair<fs::path, std::optional<StoreProblem>> cases[] = {
        {blocked / "settings.json",
         StoreProblem{"cannot write " + blocked.string(), "Not a directory"}},
        {folder, StoreProblem{"cannot read " + folder.string(), "Is a directory"}},
        {file, std::nullopt}};
    for (const auto& [path, problem] : cases) {
        SCOPED_TRACE(path);
        JsonFileStore store(path);
        EXPECT_EQ(store.problem(), problem);
        Config config(store, kPage);  // draws a code and saves it
        EXPECT_EQ(store.problem(), problem);
    }
}

}  // namespace
}  // namespace zg::test
