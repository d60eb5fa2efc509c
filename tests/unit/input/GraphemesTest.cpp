#include "input/Graphemes.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace zg {
namespace {

using Views = std::vector<std::string_view>;

TEST(Graphemes, ClustersStayWholeAndIllFormedSequencesCountOneEach) {
    EXPECT_EQ(graphemes(""), Views{});
    EXPECT_EQ(graphemes("a\r\n\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd"
                        "e\xcc\x81"),
              (Views{"a", "\r\n", "\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd", "e\xcc\x81"}));
    EXPECT_EQ(graphemes("\xff\xfe"
                        "a\xe2\x82"
                        "b"),
              (Views{"\xff", "\xfe", "a", "\xe2\x82", "b"}));
    EXPECT_EQ(countGraphemes("\xc0\x80\xed\xa0\x80", 100), 5u);
}

TEST(Graphemes, CountStopsOnePastTheLimit) {
    const std::string coder = "\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x92\xbb";
    for (const std::string& character : {std::string("\xc3\xa9"), coder}) {
        std::string text;
        for (int i = 0; i < 4000; ++i) text += character;
        EXPECT_EQ(countGraphemes(text, 4000), 4000u);
        EXPECT_EQ(countGraphemes(text, 3999), 4000u);
        EXPECT_EQ(countGraphemes(text, 10), 11u);
        text += character;
        EXPECT_EQ(countGraphemes(text, 4000), 4001u);
    }
    EXPECT_EQ(countGraphemes("abc", 0), 1u);
    EXPECT_EQ(countGraphemes("", 0), 0u);
    EXPECT_EQ(countGraphemes("abc", SIZE_MAX), 3u);
}

}  // namespace
}  // namespace zg
