// The pieces of the data files of long modern pages, and their names.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "common/Text.h"
#include "listing/OutputNames.h"
#include "options/Options.h"
#include "pages/ListingData.h"

namespace tabulo::test {
namespace {

TEST(ListingDataTest, PackingPieces) {
    // RFC 4648's examples, and every byte value.
    const std::pair<std::string, std::string> known[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
    for (const auto& [bytes, text] : known) EXPECT_EQ(Base64(bytes), text) << bytes;
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string text = Base64(all);
    EXPECT_EQ(text.size(), 344u);
    EXPECT_TRUE(text.starts_with("AAECAwQFBgcICQoL") && text.ends_with("8/T19vf4+fr7/P3+/w=="))
        << text;

    std::string planes;
    AppendPlanes(planes, {0x0102, 0x0304, 0xA0B0C}, 3);
    EXPECT_EQ(planes, std::string("\x02\x04\x0C\x01\x03\x0B\x00\x00\x0A", 9));

    // Positions 0 .. count-1 fit: one byte up to 256 rows, two up to 65536, ...
    const std::pair<std::size_t, int> widths[] = {
        {0, 1},     {1, 1},     {256, 1},      {257, 2},
        {65536, 2}, {65537, 3}, {1u << 24, 3}, {(1u << 24) + 1, 4}};
    for (auto [count, width] : widths) EXPECT_EQ(IndexWidth(count), width) << count;
}

TEST(ListingDataTest, TimesAsTheClockReadsThem) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(LocalMinutes(0), 0);
    EXPECT_EQ(LocalMinutes(59), 0);
    EXPECT_EQ(LocalMinutes(-1), -1);  // 1969-12-31 23:59
    EXPECT_EQ(LocalMinutes(1700000000), 1700000000 / 60);
    EXPECT_EQ(LocalMinutes(INT64_MAX / 2), INT32_MAX);
    ::setenv("TZ", "CET-1", 1);  // an hour ahead, all year
    ::tzset();
    EXPECT_EQ(LocalMinutes(0), 60);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
}

TEST(ListingDataTest, BudgetIsAWholeNumberFromOne) {
    Options o;
    const std::pair<const char*, std::size_t> typed[] = {{"1000", 1000},
                                                         {"1", 1},
                                                         {"250.7", 250},
                                                         {"0", kDefaultRowBudget},
                                                         {"-5", kDefaultRowBudget},
                                                         {"", kDefaultRowBudget},
                                                         {"many", kDefaultRowBudget},
                                                         {"1e12", 4294967295u}};
    for (auto [text, budget] : typed) {
        o.setText(opt("txtRowBudget"), text);
        EXPECT_EQ(RowBudgetOf(o), budget) << text;
    }
}

TEST(ListingDataTest, NamesOfNumberedPagesAndDataFiles) {
    EXPECT_EQ(NumberedPageName("index.html", 1), "index.html");
    EXPECT_EQ(NumberedPageName("index.html", 2), "index-2.html");
    EXPECT_EQ(NumberedPageName("index", 12), "index-12");
    EXPECT_EQ(NumberedPageName("my.page.htm", 3), "my.page-3.htm");
    EXPECT_EQ(ListingDataName("index.html", 1), "index.rows-1.js");
    EXPECT_EQ(ListingDataName("index", 40), "index.rows-40.js");
    using K = ExtraFile;
    const std::pair<const char*, ExtraFile> names[] = {{"index-2.html", K::NumberedPage},
                                                       {"index-1000.html", K::NumberedPage},
                                                       {"index.rows-1.js", K::ListingData},
                                                       {"index.rows-77.js", K::ListingData},
                                                       {"index.page.js", K::PageScript},
                                                       {"index.page.js.bak", K::None},
                                                       {"index.pages.js", K::None},
                                                       {"Index.page.js", K::None},
                                                       {"index.html", K::None},
                                                       {"index-1.html", K::None},
                                                       {"index-02.html", K::None},
                                                       {"index-2.htm", K::None},
                                                       {"index-2.html.bak", K::None},
                                                       {"index-.html", K::None},
                                                       {"index-2x.html", K::None},
                                                       {"index.rows-0.js", K::None},
                                                       {"index.rows-1.json", K::None},
                                                       {"index-12345678901.html", K::None},
                                                       {"Index-2.html", K::None},
                                                       {"index-of-papers.pdf", K::None}};
    for (auto [name, kind] : names) EXPECT_EQ(ExtraFileKind("index.html", name), kind) << name;
    EXPECT_EQ(ExtraFileKind("index", "index-3"), K::NumberedPage);
    EXPECT_EQ(ExtraFileKind("index", "index-3.html"), K::None);
    EXPECT_EQ(PageScriptName("index.html"), "index.page.js");
    EXPECT_EQ(PageScriptName("my.page.htm"), "my.page.page.js");
    EXPECT_EQ(ExtraFileKind("my.page.htm", "my.page.page.js"), K::PageScript);
    EXPECT_EQ(ExtraFileKind("my.page.htm", "my.page.js"), K::None);
}

}  // namespace
}  // namespace tabulo::test
