#include "app/Messages.h"

#include <gtest/gtest.h>

namespace zg {
namespace {

using Strings = std::vector<std::string>;

TEST(Messages, EachReaderAcceptsItsOwnJsonTypeOnly) {
    const Payload payload = Payload::parse(R"({
        "null": null, "false": false, "int": -3, "unsigned": 18446744073709551615,
        "huge": -1e308, "text": "hi", "empty": [], "list": ["a", "b"],
        "mixed": ["a", 1], "nested": [["a"]], "object": {"text": "hi"}})");
    struct Row {
        const char* key;
        std::optional<std::string> text;
        std::optional<double> number;
        std::optional<bool> flag;
        std::optional<Strings> list;
    };
    for (const Row& row : std::vector<Row>{
             {"null", {}, {}, {}, {}},
             {"false", {}, {}, false, {}},
             {"int", {}, -3.0, {}, {}},
             {"unsigned", {}, 18446744073709551615.0, {}, {}},
             {"huge", {}, -1e308, {}, {}},
             {"text", "hi", {}, {}, {}},
             {"empty", {}, {}, {}, Strings{}},
             {"list", {}, {}, {}, Strings{"a", "b"}},
             {"mixed", {}, {}, {}, {}},
             {"nested", {}, {}, {}, {}},
             {"object", {}, {}, {}, {}},
             {"missing", {}, {}, {}, {}},
         }) {
        EXPECT_EQ(readString(payload, row.key), row.text) << row.key;
        EXPECT_EQ(readNumber(payload, row.key), row.number) << row.key;
        EXPECT_EQ(readBool(payload, row.key), row.flag) << row.key;
        EXPECT_EQ(readStringList(payload, row.key), row.list) << row.key;
    }
    // A payload that is not an object has no keys.
    for (const char* text : {R"([["text", "hi"]])", R"("text")", "null"}) {
        const Payload other = Payload::parse(text);
        EXPECT_FALSE(readString(other, "text") || readNumber(other, "0") ||
                     readBool(other, "text") || readStringList(other, "text"))
            << text;
    }
}

TEST(Messages, StateAndFarewellCarryExactlyTheirKeys) {
#if defined(__APPLE__)
    const char* os = "mac";
#else
    const char* os = "linux";
#endif
    const HostState state{.hostId = "0a1b2c3d", .name = "Desk", .drag = true, .screenError = {}};
    EXPECT_EQ(
        statePayload(state),
        (Payload{
            {"kind", "host"}, {"from", "0a1b2c3d"}, {"name", "Desk"}, {"drag", true}, {"os", os}}));
    EXPECT_EQ(farewellPayload("0a1b2c3d", "Desk"),
              (Payload{{"kind", "host"}, {"from", "0a1b2c3d"}, {"name", "Desk"}, {"gone", true}}));
}

}  // namespace
}  // namespace zg
