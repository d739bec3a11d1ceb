#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/CaseFold.h"
#include "common/Encoding.h"

namespace tabulo {
namespace {

TEST(EncodingTest, NamesThatAreNotUtf8ReadAsWindows1252) {
    EXPECT_EQ(toUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(toUtf8("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(toUtf8("\x80"), "\xE2\x82\xAC");
    // An undefined byte survives the round trip to the page.
    EXPECT_EQ(toCp1252(toUtf8("\x81\xE9"), Unmappable::HtmlReference), "\x81\xE9");
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));      // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate
}

// Runs of ASCII are skipped a word at a time: a non-ASCII byte anywhere in or after such a
// run, and a sequence cut off by the end, must still be seen.
TEST(EncodingTest, EveryPositionOfALongAsciiRunIsLookedAt) {
    for (std::size_t at = 0; at <= 20; ++at) {
        const std::string before(at, 'a'), after(20 - at, 'b');
        EXPECT_FALSE(isValidUtf8(before + "\xFF" + after)) << at;
        EXPECT_FALSE(isValidUtf8(before + "\xC3")) << at;
        EXPECT_TRUE(isValidUtf8(before + "\xC3\xA9" + after)) << at;
        EXPECT_EQ(toCp1252(before + "\xC3\xA9" + after, Unmappable::HtmlReference),
                  before + "\xE9" + after)
            << at;
        EXPECT_EQ(toCp1252(before + "\xE2\x86\x92" + after, Unmappable::HtmlReference),
                  before + "&#8594;" + after)
            << at;
        EXPECT_EQ(toUtf8(before + "\xE9" + after), before + "\xC3\xA9" + after) << at;
    }
}

TEST(CaseFoldTest, SimpleFolding) {
    EXPECT_EQ(foldCase("ABC xyz"), "abc xyz");
    EXPECT_EQ(foldCase("\xC3\x9C"
                       "BER"),
              "\xC3\xBC"
              "ber");                             // Ü
    EXPECT_EQ(foldCase("\xCE\xA3"), "\xCF\x83");  // Σ
    EXPECT_EQ(foldCase("\xD0\x96"), "\xD0\xB6");  // Ж
    EXPECT_EQ(foldCase("\xC5\xBD"), "\xC5\xBE");  // Ž
    EXPECT_EQ(foldCase("\xFF\xFE"), "\xFF\xFE");
}

// Sorting compares without building the folded names; the order must be the same.
TEST(CaseFoldTest, ComparingFoldedNamesInPlace) {
    const std::string pieces[] = {"a", "B", "b", "Z", "~", "\xC3\xA9", "\xC3\x89", "\xE9",
                                  "\xCE\xA3", "\xCF\x83", "\xF0\x9F\x98\x80", ""};
    std::vector<std::string> names;
    for (const auto& x : pieces)
        for (const auto& y : pieces)
            for (const auto& z : pieces) names.push_back(x + y + z);
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (const auto& a : names) {
        for (const auto& b : names) {
            ASSERT_EQ(sign(compareFolded(a, b)), sign(foldCase(a).compare(foldCase(b))))
                << a << " / " << b;
        }
    }
}

}  // namespace
}  // namespace tabulo
