#include <gtest/gtest.h>

#include "colours/Contrast.h"

namespace tabulo::test {
namespace {

// Figures as WCAG's own examples and common checkers give them.
TEST(ContrastTest, KnownPairs) {
    EXPECT_DOUBLE_EQ(RelativeLuminance(kBlack), 0.0);
    EXPECT_DOUBLE_EQ(RelativeLuminance(kWhite), 1.0);
    EXPECT_NEAR(RelativeLuminance(0xFF0000), 0.2126, 1e-9);
    EXPECT_NEAR(RelativeLuminance(0x00FF00), 0.7152, 1e-9);
    EXPECT_NEAR(RelativeLuminance(0x0000FF), 0.0722, 1e-9);
    // Below the linear part's end a channel is divided, above it raised: 10/255 and 11/255.
    EXPECT_NEAR(RelativeLuminance(0x0A0A0A), 10 / 255.0 / 12.92, 1e-9);
    EXPECT_NEAR(RelativeLuminance(0x0B0B0B), 0.003347, 1e-6);

    EXPECT_DOUBLE_EQ(ContrastRatio(kBlack, kWhite), 21.0);
    EXPECT_DOUBLE_EQ(ContrastRatio(0x123456, 0x123456), 1.0);
    EXPECT_NEAR(ContrastRatio(0x0000FF, 0xAAAAAA), 3.70, 0.01);
    EXPECT_NEAR(ContrastRatio(0x0000FF, kWhite), 8.59, 0.01);
    EXPECT_NEAR(ContrastRatio(0xFF0000, kWhite), 4.00, 0.01);
    EXPECT_NEAR(ContrastRatio(0x808080, kWhite), 3.95, 0.01);
    // The greys either side of what AA asks of text on white.
    EXPECT_LT(ContrastRatio(0x777777, kWhite), kTextContrast);
    EXPECT_GE(ContrastRatio(0x767676, kWhite), kTextContrast);
    EXPECT_NEAR(ContrastRatio(0x767676, kWhite), 4.54, 0.01);
}

TEST(ContrastTest, OrderDoesNotMatterAndDarkerTextStandsOutMore) {
    for (Rgb back : {kWhite, Rgb{0xAAAAAA}, Rgb{0xF0F0F0}, Rgb{0x202020}}) {
        for (Rgb text : {kBlack, Rgb{0x0000FF}, Rgb{0xD000D0}, Rgb{0x00FF00}}) {
            EXPECT_DOUBLE_EQ(ContrastRatio(text, back), ContrastRatio(back, text));
            EXPECT_GE(ContrastRatio(text, back), 1.0);
            EXPECT_LE(ContrastRatio(text, back), 21.0);
        }
    }
    double last = 1;
    for (Rgb grey = 0xF0F0F0; grey > 0; grey -= 0x101010) {
        EXPECT_GT(ContrastRatio(grey, kWhite), last) << std::hex << grey;
        last = ContrastRatio(grey, kWhite);
    }
}

}  // namespace
}  // namespace tabulo::test
