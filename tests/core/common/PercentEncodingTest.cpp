#include <gtest/gtest.h>

#include "common/PercentEncoding.h"

namespace tabulo {
namespace {

TEST(PercentEncodingTest, TwoUpperCaseDigitsForEveryByteOutsideTheSet) {
    const std::string all = [] {
        std::string s;
        for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
        return s;
    }();
    std::string encoded = percentEncode(all, ByteSet());
    ASSERT_EQ(encoded.size(), 3u * 256);
    EXPECT_EQ(encoded.substr(0, 6), "%00%01");
    EXPECT_EQ(encoded.substr(3 * 0x0F, 6), "%0F%10");
    EXPECT_EQ(encoded.substr(3 * 0xFE), "%FE%FF");
    EXPECT_EQ(percentEncode(all, ByteSet::range(0, 0xFF)), all);
    EXPECT_EQ(percentEncode("", ByteSet()), "");
}

TEST(PercentEncodingTest, SetsHoldTheirEndsAndLoseWhatIsTakenOut) {
    ByteSet printable = ByteSet::range(0x20, 0x7E);
    EXPECT_EQ(percentEncode("\x1F \x7E\x7F", printable), "%1F ~%7F");
    ByteSet fewer = printable.without("% ");
    EXPECT_EQ(percentEncode("a b%c", fewer), "a%20b%25c");
    EXPECT_EQ(percentEncode("a b", printable), "a b");  // the original set is unchanged
    EXPECT_EQ(percentEncode(std::string("\0\xFF", 2), ByteSet::of(std::string("\0\xFF", 2))),
              std::string("\0\xFF", 2));
    EXPECT_EQ(percentEncode("Az09-._~ /", kUnreservedBytes), "Az09-._~%20%2F");
}

}  // namespace
}  // namespace tabulo
