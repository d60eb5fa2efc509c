#include "config/Config.h"

#include "MemoryStore.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace zg {
namespace {

using nlohmann::json;

using test::MemoryStore;

const std::string phonePage = "https://192.168.1.20:8443/remote";

TEST(Config, FirstRunStoresAFreshValidCode) {
    for (json stored : {json::object(), json{{"code", 42}}}) {
        MemoryStore store;
        store.settings = stored;
        Config config(store, phonePage);
        EXPECT_TRUE(config.isNew());
        EXPECT_TRUE(Config::valid(store.settings["code"].get<std::string>()));
    }
}

TEST(Config, InvalidStoredCodeIsReplacedAndNothingElseIsReset) {
    for (const char* bad : {"", "ABCDEFGHJKMNPQR", "ABCDEFGHJKMNPQRST", "aBCDEFGHJKMNPQRS",
                            "0BCDEFGHJKMNPQRS", "ABCDEFGHJKMNPQR "}) {
        MemoryStore store;
        store.settings = {{"code", bad}, {"speed", 2.5}};
        Config config(store, phonePage);
        EXPECT_FALSE(config.isNew()) << bad;
        EXPECT_TRUE(Config::valid(config.code())) << bad;
        EXPECT_EQ(config.speed(), 2.5);
    }
}

TEST(Config, ValidStoredCodeIsLeftAloneAndNothingIsWritten) {
    MemoryStore store;
    store.settings = {{"code", "23456789ABCDEFGH"}};
    Config config(store, phonePage);
    EXPECT_FALSE(config.isNew());
    EXPECT_EQ(config.code(), "23456789ABCDEFGH");
    EXPECT_EQ(store.saves, 0);

    config.setCode("not a code");  // stored as given; repaired by the next construction
    EXPECT_EQ(config.code(), "not a code");
    EXPECT_TRUE(Config::valid(Config(store, phonePage).code()));
}

TEST(Config, MistypedOrMissingValuesReadAsDefaults) {
    MemoryStore store;
    store.settings = {{"speed", "fast"}, {"halo", "false"}, {"phoneUrl", 7}};
    Config config(store, phonePage);
    EXPECT_EQ(config.speed(), 1.0);
    EXPECT_TRUE(config.halo());
    EXPECT_EQ(config.phoneUrl(), phonePage);
    store.settings.erase("halo");
    EXPECT_TRUE(config.halo());

    store.settings["speed"] = 1e308;  // not clamped
    EXPECT_EQ(config.speed(), 1e308);
    config.setSpeed(0.25);
    config.setHalo(false);
    EXPECT_EQ(config.speed(), 0.25);
    EXPECT_FALSE(config.halo());
    EXPECT_EQ(store.settings["phoneUrl"], 7);  // other values untouched by writes
}

TEST(Config, LinkAddsTheCodeAsParameterK) {
    MemoryStore store;
    store.settings = {{"code", "23456789ABCDEFGH"}};
    Config config(store, phonePage);
    EXPECT_EQ(config.link(), phonePage + "?k=23456789ABCDEFGH");
    store.settings["phoneUrl"] = "https://example.org/remote?theme=dark";
    EXPECT_EQ(config.link(), "https://example.org/remote?theme=dark&k=23456789ABCDEFGH");
    store.settings["phoneUrl"] = "";
    EXPECT_EQ(config.link(), "?k=23456789ABCDEFGH");
}

TEST(Config, NewCodeDiscardsRawValuesThatWouldFavourLowIndices) {
    // 2^64 = 16 (mod 31): the 16 lowest raw values would make indices 0-15 more likely.
    std::vector<std::uint64_t> raw;
    for (std::uint64_t i = 0; i < 16; ++i) raw.insert(raw.end(), {i, 15 - i, 16 + i});
    std::size_t next = 0;
    EXPECT_EQ(Config::newCode([&] { return raw.at(next++); }), "JKMNPQRSTUVWXYZ2");
    EXPECT_EQ(next, raw.size());
    EXPECT_EQ(Config::newCode([] { return UINT64_MAX; }), std::string(16, 'H'));
}

TEST(Config, NewCodesAreValidAndDrawOnTheWholeAlphabet) {
    std::set<char> seen;
    for (int i = 0; i < 500; ++i) {
        std::string code = Config::newCode();
        ASSERT_TRUE(Config::valid(code)) << code;
        seen.insert(code.begin(), code.end());
    }
    EXPECT_EQ(seen.size(), Config::alphabet.size());
}

}  // namespace
}  // namespace zg
