#include "config/Config.h"

#include "MemoryStore.h"

#include <gtest/gtest.h>

#include <vector>

namespace zg {
namespace {

using nlohmann::json;

using test::MemoryStore;

const std::string phonePage = "https://192.168.1.20:8443/remote";

TEST(Config, StoresAFreshCodeUnlessAValidOneIsStoredAndResetsNothingElse) {
    struct Case {
        json stored;
        bool isNew;  // no code at all, as on a first run
        bool kept;
    };
    for (const Case& c : std::vector<Case>{
             {json::object(), true, false},
             {{{"code", 42}}, true, false},
             {{{"code", ""}}, false, false},
             {{{"code", "ABCDEFGHJKMNPQR"}}, false, false},
             {{{"code", "ABCDEFGHJKMNPQRST"}}, false, false},
             {{{"code", "aBCDEFGHJKMNPQRS"}}, false, false},
             {{{"code", "0BCDEFGHJKMNPQRS"}}, false, false},
             {{{"code", "ABCDEFGHJKMNPQR "}}, false, false},
             {{{"code", "23456789ABCDEFGH"}}, false, true},
         }) {
        SCOPED_TRACE(c.stored.dump());
        MemoryStore store;
        store.settings = c.stored;
        store.settings["speed"] = 2.5;
        Config config(store, phonePage);
        EXPECT_EQ(config.isNew(), c.isNew);
        EXPECT_TRUE(Config::valid(store.settings["code"].get<std::string>()));
        EXPECT_EQ(json(config.code()) == c.stored.value("code", json()), c.kept);
        EXPECT_EQ(store.saves, c.kept ? 0 : 1);
        EXPECT_EQ(config.speed(), 2.5);
    }
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
}

TEST(Config, LinkAddsTheCodeAsParameterK) {
    MemoryStore store;
    store.settings = {{"code", "23456789ABCDEFGH"}};
    Config config(store, phonePage);
    EXPECT_EQ(config.link(), phonePage + "?k=23456789ABCDEFGH");
    store.settings["phoneUrl"] = "https://example.org/remote?theme=dark";
    EXPECT_EQ(config.link(), "https://example.org/remote?theme=dark&k=23456789ABCDEFGH");
}

TEST(Config, NewCodeDiscardsRawValuesThatWouldFavourLowIndices) {
    // 2^64 = 16 (mod 31): the 16 lowest raw values would make indices 0-15 more likely.
    std::vector<std::uint64_t> raw;
    for (std::uint64_t i = 0; i < 16; ++i) raw.insert(raw.end(), {i, 15 - i, 16 + i});
    std::size_t next = 0;
    EXPECT_EQ(Config::newCode([&] { return raw.at(next++); }), "JKMNPQRSTUVWXYZ2");
    EXPECT_EQ(next, raw.size());
    EXPECT_EQ(Config::newCode([] { return UINT64_MAX; }), std::string(16, 'H'));
    EXPECT_NE(Config::newCode(), Config::newCode());  // the real source is not constant
}

}  // namespace
}  // namespace zg
