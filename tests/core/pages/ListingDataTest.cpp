// The data files of long modern pages: what they carry, in how many bytes, and that no name
// can leave its string.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "common/Text.h"
#include "listing/OutputNames.h"
#include "pages/ListingData.h"
#include "support/Fixture.h"

namespace tabulo::test {
namespace {

std::string unbase64(std::string_view text) {
    static const std::string digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t bits = 0;
    int held = 0;
    for (char c : text) {
        if (c == '=') break;
        bits = bits << 6 | static_cast<std::uint32_t>(digits.find(c));
        if ((held += 6) >= 8) out += static_cast<char>(bits >> (held -= 8) & 0xFF);
    }
    return out;
}

// Value `i` of `count` values of `width` bytes laid out plane by plane from `at`.
std::uint64_t planeValue(const std::string& bytes, std::size_t at, std::size_t count, int width,
                         std::size_t i) {
    std::uint64_t v = 0;
    for (int p = width - 1; p >= 0; --p)
        v = v << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(p) * count + i]);
    return v;
}

TEST(ListingDataTest, PackingPieces) {
    // RFC 4648's examples, and every byte value.
    const std::pair<std::string, std::string> known[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
    for (const auto& [bytes, text] : known) EXPECT_EQ(Base64(bytes), text) << bytes;
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(unbase64(Base64(all)), all);

    std::string planes;
    AppendPlanes(planes, {0x0102, 0x0304, 0xA0B0C}, 3);
    EXPECT_EQ(planes, std::string("\x02\x04\x0C\x01\x03\x0B\x00\x00\x0A", 9));

    // Positions 0 .. count-1 fit: one byte up to 256 rows, two up to 65536, ...
    const std::pair<std::size_t, int> widths[] = {{0, 1},     {1, 1},         {256, 1},
                                                  {257, 2},   {65536, 2},     {65537, 3},
                                                  {1u << 24, 3}, {(1u << 24) + 1, 4}};
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
    const std::pair<const char*, std::size_t> typed[] = {
        {"1000", 1000}, {"1", 1}, {"250.7", 250}, {"0", kDefaultRowBudget}, {"-5", kDefaultRowBudget},
        {"", kDefaultRowBudget}, {"many", kDefaultRowBudget}, {"1e12", 4294967295u}};
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
    const std::pair<const char*, ExtraFile> names[] = {
        {"index-2.html", K::NumberedPage}, {"index-1000.html", K::NumberedPage},
        {"index.rows-1.js", K::ListingData}, {"index.rows-77.js", K::ListingData},
        {"index.html", K::None},           {"index-1.html", K::None},
        {"index-02.html", K::None},        {"index-2.htm", K::None},
        {"index-2.html.bak", K::None},     {"index-.html", K::None},
        {"index-2x.html", K::None},        {"index.rows-0.js", K::None},
        {"index.rows-1.json", K::None},    {"index-12345678901.html", K::None},
        {"Index-2.html", K::None},         {"index-of-papers.pdf", K::None}};
    for (auto [name, kind] : names) EXPECT_EQ(ExtraFileKind("index.html", name), kind) << name;
    EXPECT_EQ(ExtraFileKind("index", "index-3"), K::NumberedPage);
    EXPECT_EQ(ExtraFileKind("index", "index-3.html"), K::None);
}

// The parts of the call in a data file; the names as written, escapes kept.
struct DataCall {
    std::string packed, types, links;
    std::vector<std::string> names;
    int sizeWidth = 0, typeWidth = 0;
};

DataCall callIn(const std::string& text) {
    DataCall call;
    auto after = [&](std::size_t at, std::string_view mark) {
        auto found = text.find(mark, at);
        EXPECT_NE(found, std::string::npos) << mark;
        return found == std::string::npos ? text.size() : found;
    };
    std::size_t packed = after(0, "tabuloRows(");
    packed = after(packed, ",\"") + 2;
    std::size_t packedEnd = after(packed, "\",[");
    call.packed = text.substr(packed, packedEnd - packed);
    call.sizeWidth = std::atoi(text.c_str() + packedEnd + 3);
    call.typeWidth = std::atoi(text.c_str() + after(packedEnd + 3, ",") + 1);
    std::size_t types = after(packedEnd, "],[") + 3, typesEnd = after(types, "],\n\"");
    call.types = text.substr(types, typesEnd - types);
    std::size_t namesEnd = after(typesEnd + 4, "\",\n{");
    std::string names = text.substr(typesEnd + 4, namesEnd - typesEnd - 4);
    for (std::size_t at = 0, slash; at <= names.size(); at = slash + 1) {
        slash = names.find('/', at);
        if (slash == std::string::npos) slash = names.size();
        call.names.push_back(names.substr(at, slash - at));
    }
    std::size_t linksEnd = after(namesEnd, "});\n");
    call.links = text.substr(namesEnd + 4, linksEnd - namesEnd - 4);
    EXPECT_EQ(linksEnd + 4, text.size());
    return call;
}

class ListingDataFileTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        select("optPageModern");
        select("optName");
        set("chkReqrsive", "0");
        set("txtExclude", "*.tmp");
        set("txtRowBudget", "10");
    }
    std::vector<std::string> dataFiles() {
        std::vector<std::string> texts;
        for (int n = 1;; ++n) {
            std::string file = path("site/index.rows-" + std::to_string(n) + ".js");
            if (!std::filesystem::exists(file)) return texts;
            texts.push_back(readFile(file));
        }
    }
};

TEST_F(ListingDataFileTest, HostileNamesStayInsideTheirStrings) {
    const std::vector<std::string> hostile = {
        "\"><img src=x onerror=window.__pwned=1>", "<script>alert(1)<\\script>",
        "it's \"quoted\" & more", "line\xE2\x80\xA8separator", "para\xE2\x80\xA9graph",
        "tab\there", "back\\slash", "new\nline", "bad\xFF\xFE.bin", "caf\xC3\xA9", "\x7F"};
    for (const std::string& name : hostile) writeFile("site/" + name);
    for (int i = 0; i < 10; ++i) writeFile("site/plain" + std::to_string(i));
    go("site");
    auto texts = dataFiles();
    ASSERT_EQ(texts.size(), 1u);
    const std::string& text = texts[0];
    EXPECT_TRUE(text.starts_with(std::string(kListingDataMark) + "1 of 1 */\n")) << text.substr(0, 60);
    // Nothing that ends a string, a script or a line, and nothing that starts markup.
    std::string body = text.substr(text.find('\n') + 1);
    for (const char* bad : {"<", ">", "&", "\xE2\x80\xA8", "\xE2\x80\xA9", "\t", "\x7F", "\xFF"})
        EXPECT_EQ(body.find(bad), std::string::npos) << "raw " << bad;
    EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 3);
    DataCall call = callIn(text);
    const auto& names = call.names;
    EXPECT_EQ(names.size(), hostile.size() + 10);
    auto has = [&](const std::string& json) { return std::find(names.begin(), names.end(), json) != names.end(); };
    EXPECT_TRUE(has("\\\"\\u003e\\u003cimg src=x onerror=window.__pwned=1\\u003e"));
    EXPECT_TRUE(has("line\\u2028separator"));
    EXPECT_TRUE(has("new\\nline"));
    EXPECT_TRUE(has("bad\xEF\xBF\xBD\xEF\xBF\xBD.bin"));  // U+FFFD for each stray byte
    // Its link is the name's own bytes; every other link is made from the name the data shows.
    EXPECT_TRUE(std::regex_match(call.links, std::regex("\"[0-9]+\":\"bad%FF%FE.bin\""))) << call.links;
}

TEST_F(ListingDataFileTest, AtMostFortyBytesARowBesideTheName) {
    // The columns of the shipped modern theme, and enough rows for two data files.
    set("txtRowBudget", "1000");
    writeFile("site/zz big", std::string(123457, 'x'));  // last by name
    setTime("site/zz big", 4102444800);                  // 2100
    const std::size_t count = kRowsPerDataFile + 5000;
    std::size_t nameBytes = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::string name = "file " + std::to_string(i * 7919 % count) + (i % 3 ? ".txt" : ".jpeg");
        nameBytes += name.size();
        ::close(::creat(path("site/" + name).c_str(), 0644));
    }
    go("site");
    auto texts = dataFiles();
    ASSERT_EQ(texts.size(), 2u);
    std::size_t bytes = 0;
    for (const std::string& t : texts) bytes += t.size();
    nameBytes += 3;
    EXPECT_LE(bytes, nameBytes + 40 * (count + 1)) << "rows " << count + 1;
    // The numbers read back: the big file's size and time.
    DataCall call = callIn(texts[1]);
    std::string packed = unbase64(call.packed);
    const std::size_t rows = call.names.size();
    ASSERT_EQ(rows, count + 1 - kRowsPerDataFile);
    ASSERT_EQ(call.names.back(), "zz big");
    // Sizes in as many bytes as the largest needs, times in four; the types of the file (a
    // folder's first), one byte a row; the orders of the size and time columns, two bytes a
    // position, over the whole listing.
    EXPECT_EQ(call.sizeWidth, 3);
    EXPECT_EQ(call.typeWidth, 1);
    EXPECT_EQ(call.types, "\"\",\"txt\",\"jpeg\",\"unknown\"");
    EXPECT_EQ(packed.size(), rows * (3 + 4 + 1 + 2 + 2));
    EXPECT_EQ(planeValue(packed, 0, rows, 3, rows - 1), 123457u);
    EXPECT_EQ(planeValue(packed, 3 * rows, rows, 4, rows - 1), 4102444800u / 60);
    // By size the big file comes last; by time as well.
    EXPECT_EQ(planeValue(packed, 8 * rows, rows, 2, rows - 1), count);
    EXPECT_EQ(planeValue(packed, 10 * rows, rows, 2, rows - 1), count);
}

}  // namespace
}  // namespace tabulo::test
