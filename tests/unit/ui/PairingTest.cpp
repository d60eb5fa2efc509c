#include <gtest/gtest.h>

#include "ui/PairingLayout.h"
#include "ui/QrCode.h"

namespace zg {
namespace {

TEST(PairingLayout, ModulesGetTheLargestWholeScaleThatFits456Pixels) {
    EXPECT_EQ(pairing::moduleScale(25), 18);
    EXPECT_EQ(pairing::moduleScale(33), 13);
    EXPECT_EQ(pairing::moduleScale(57), 8);
    EXPECT_EQ(pairing::moduleScale(0), 0);
}

TEST(PairingLayout, TheDotAndLabelAreCentredAsOneGroupEvenWhenWiderThanTheWindow) {
    const auto group = pairing::statusGroup(185, 16);
    EXPECT_EQ(group.dot, (Rect{50, 24, 7, 7}));
    EXPECT_EQ(group.label, (Rect{65, 19.5, 185, 16}));

    const auto wide = pairing::statusGroup(400, 16);
    EXPECT_EQ(wide.dot.x, -57.5);
    EXPECT_EQ(wide.label.right() - pairing::kWidth, -wide.dot.x);

    EXPECT_EQ(pairing::fromTop(group.dot, pairing::kHeight), (Rect{50, 305, 7, 7}));
}

TEST(QrCode, EncodesTheLinkAtLevelMAndDrawsItWithHalfBlocks) {
    const auto code = QrCode::encode("http://192.168.1.20:8787/remote?k=23456789ABCDEFGH");
    ASSERT_TRUE(code);
    // 52 bytes at level M need version 4: 33 modules.
    EXPECT_EQ(code->width, 33);
    EXPECT_TRUE(code->at(0, 0) && code->at(6, 6) && !code->at(7, 7));

    const std::string picture = terminalPicture(*code, false);
    // 33 modules and 4 quiet modules each side: 41 columns, 21 lines of two rows.
    EXPECT_EQ(std::count(picture.begin(), picture.end(), '\n'), 21);
    EXPECT_EQ(picture.substr(0, picture.find('\n')), std::string(41, ' '));

    EXPECT_FALSE(QrCode::encode(std::string(3000, 'x')));
}

}  // namespace
}  // namespace zg
