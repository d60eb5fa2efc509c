#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "ManualLoop.h"
#include "RecordingDevices.h"
#include "input/Input.h"
#include "input/KeyTables.h"

namespace zg::test {
namespace {

Events press(Key key, Modifiers modifiers = 0) {
    return {Pressed{key, modifiers, true}, Pressed{key, modifiers, false}};
}

Events type(const std::vector<std::string>& characters) {
    Events events;
    for (const std::string& c : characters) {
        events.push_back(Typed{c, true});
        events.push_back(Typed{c, false});
    }
    return events;
}

struct KeyboardControl : testing::Test {
    ManualLoop loop;
    RecordingDevices devices;
    Input input{loop, devices, devices};
};

TEST_F(KeyboardControl, KeysTakeTheirCodeFlagsAndShiftOrAreTypedAloneAndDroppedWithModifiers) {
    struct Case {
        std::string name;
        std::vector<std::string> mods;
        Events expected;
    };
    const std::vector<Case> cases{
        {"Enter", {"ctrl"}, press(Key::Return, kCommand)},
        {"a", {"ctrl"}, press(Key::A, kCommand)},
        {"A", {}, press(Key::A, kShift)},
        {"A", {"alt"}, press(Key::A, kOption | kShift)},
        {"Q", {"shift", "shift"}, press(Key::Q, kShift)},
        {"7", {}, press(Key::Digit7)},
        {" ", {}, press(Key::Space)},
        {"Space", {"win"}, press(Key::Space, kControl)},
        {"Delete", {}, press(Key::ForwardDelete)},
        {"Backspace", {}, press(Key::Backspace)},
        {"a", {"cmd", "Ctrl"}, press(Key::A)},
        {"!", {}, type({"!"})},
        {"!", {"shift"}, {}},
        {"abc", {}, type({"a", "b", "c"})},
        {"abc", {"ctrl"}, {}},
        {"enter", {}, type({"e", "n", "t", "e", "r"})},
        {"\xc3\x89", {}, type({"\xc3\x89"})},  // É: no key, so typed, and without Shift
        {"\r\n", {}, press(Key::Return)},
        {"", {}, {}},
        {"", {"ctrl"}, {}},
    };
    for (const Case& c : cases) {
        input.key(c.name, c.mods);
        EXPECT_EQ(devices.take(), c.expected) << '"' << c.name << '"';
    }
    // Every letter and digit has a key of its own; only upper case adds Shift.
    std::set<Key> keys;
    for (char c : std::string("abcdefghijklmnopqrstuvwxyz0123456789")) {
        const std::optional<Key> key = ansiKey(std::string(1, c));
        ASSERT_TRUE(key) << c;
        keys.insert(*key);
        input.key(std::string(1, static_cast<char>(std::toupper(c))), {});
        EXPECT_EQ(devices.take(), press(*key, std::isalpha(c) ? Modifiers{kShift} : 0)) << c;
    }
    EXPECT_EQ(keys.size(), 36u);
}

TEST_F(KeyboardControl, TextIsTypedOneCharacterAtATimeAndLineBreaksPressReturn) {
    const std::string emoji = "\xf0\x9f\x98\x80";                              // outside the BMP
    const std::string coder = "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb";  // ZWJ sequence
    const std::string thumb = "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd";              // with a skin tone
    const std::string accented = "e\xcc\x81";  // e + combining acute
    // Stray and truncated bytes are dropped.
    input.text("a\nb\r\nc\r" + emoji + coder + thumb + accented + "\xff\xe2\x82" + "d");
    EXPECT_EQ(devices.take(), type({"a"}) + press(Key::Return) + type({"b"}) + press(Key::Return) +
                                  type({"c"}) + press(Key::Return) +
                                  type({emoji, coder, thumb, accented, "d"}));
}

}  // namespace
}  // namespace zg::test
