#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "screen/Base64.h"

namespace zg {
namespace {

TEST(Base64, EncodesTheStandardVectorsAndBothHighSymbols) {
    for (const auto& [bytes, text] :
         std::vector<std::pair<std::string, std::string>>{{"", ""},
                                                          {"f", "Zg=="},
                                                          {"fo", "Zm8="},
                                                          {"foo", "Zm9v"},
                                                          {"foob", "Zm9vYg=="},
                                                          {"fooba", "Zm9vYmE="},
                                                          {"foobar", "Zm9vYmFy"},
                                                          {"\xfb\xef\xff", "++//"},
                                                          {std::string("\0\x80", 2), "AIA="}}) {
        EXPECT_EQ(base64(bytes), text) << text;
    }
}

}  // namespace
}  // namespace zg
