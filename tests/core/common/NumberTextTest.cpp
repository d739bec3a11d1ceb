#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "common/Text.h"

namespace tabulo {
namespace {

TEST(NumberTextTest, ValReadsAPrefixAndNeverFailsOnSize) {
    for (auto [text, expected] : std::vector<std::pair<const char*, double>>{
             {" 12.5x", 12.5},
             {"1 2", 12},
             {"+5", 5},
             {"-.5e1", -5},
             {"2d2", 200},
             {"x5", 0},
             {"1e-400", 0},
             {"0.0001e-330", 0},
             {"1e400", HUGE_VAL},
             {"-1e99999999999", -HUGE_VAL},
             {"0.001e311", 1e308},
         }) {
        EXPECT_EQ(val(text), expected) << text;
    }
}

TEST(NumberTextTest, DecimalNumberTakesTheWholeTextOnly) {
    EXPECT_EQ(decimalNumber("+2e3"), 2000);
    EXPECT_EQ(decimalNumber("-1."), -1);
    for (const char* refused : {"", " 1", "1 ", "0x10", "inf", "nan", "1e400", "+-1", "1,5"}) {
        EXPECT_FALSE(decimalNumber(refused)) << refused;
    }
}

TEST(NumberTextTest, ShortestFormsAsTheClassicFormatWritesThem) {
    EXPECT_EQ(shortestText(12.5), "12.5");
    EXPECT_EQ(shortestText(0.1), "0.1");
    EXPECT_EQ(shortestText(1e30), "1e+30");
    EXPECT_EQ(shortestText(123456789012345678.0), "1.2345678901234568e+17");
    EXPECT_EQ(shortestText(10.5f), "10.5");
    EXPECT_EQ(shortestText(0.1f), "0.1");
    EXPECT_EQ(fixedText(-1e20, 0), "-100000000000000000000");
}

TEST(NumberTextTest, WholeWithinClampsBeforeItConverts) {
    EXPECT_EQ(wholeWithin(2.9, -5, 5), 2);
    EXPECT_EQ(wholeWithin(-2.9, -5, 5), -2);
    EXPECT_EQ(wholeWithin(1e300, -5, 5), 5);
    EXPECT_EQ(wholeWithin(-HUGE_VAL, -5, 5), -5);
    EXPECT_EQ(wholeWithin(std::nan(""), -5, 5), -5);
    constexpr auto kMax = std::numeric_limits<long long>::max();
    EXPECT_EQ(wholeWithin(9.3e18, 0LL, kMax), kMax);
}

TEST(NumberTextTest, DecimalPointIsAPointInEveryLocale) {
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    ASSERT_NE(german, nullptr)
        << "the de_DE.UTF-8 locale is missing: run scripts/install-deps.sh test";
    EXPECT_EQ(val("12.5"), 12.5);
    EXPECT_EQ(decimalNumber("2.5"), 2.5);
    EXPECT_EQ(shortestText(12.5), "12.5");
    EXPECT_EQ(fixedText(0.25, 2), "0.25");
    std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace tabulo
