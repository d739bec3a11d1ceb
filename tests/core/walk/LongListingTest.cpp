// A modern page longer than the row budget: its numbered pages and data files are written,
// kept, replaced and removed as Tabulo's own, and never taken for a user's files or rows.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "commands/Watch.h"
#include "common/Text.h"
#include "listing/OutputNames.h"
#include "pages/ListingData.h"
#include "pages/ModernPage.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

// Value `i` of `count` values of `width` bytes laid out plane by plane from `at`.
std::uint64_t planeValue(const std::string& bytes, std::size_t at, std::size_t count, int width,
                         std::size_t i) {
    std::uint64_t v = 0;
    for (int p = width - 1; p >= 0; --p)
        v = v << 8 |
            static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(p) * count + i]);
    return v;
}

// The parts of the call in a data file; the names as written, escapes kept.
struct DataCall {
    std::string packed, types, links;
    std::string counts;  // the files below each folder row
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
    std::size_t linksEnd = after(namesEnd, "},[");
    call.links = text.substr(namesEnd + 4, linksEnd - namesEnd - 4);
    std::size_t countsEnd = after(linksEnd, "]);\n");
    call.counts = text.substr(linksEnd + 3, countsEnd - linksEnd - 3);
    EXPECT_EQ(countsEnd + 4, text.size());
    return call;
}

class LongListingTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        select("optPageModern");
        select("optName");
        set("chkReqrsive", "0");
        set("chkReplaceOlda", "1");
        set("txtExclude", "index.html; *.tmp");  // none of the numbered pages' names
        set("txtRowBudget", "3");
    }
    void files(int count, const std::string& prefix = "f") {
        for (int i = 1; i <= count; ++i) writeFile("site/" + prefix + std::to_string(i) + ".txt");
    }
    // The names of the rows of a page, in order.
    std::vector<std::string> rows(const std::string& page) {
        std::vector<std::string> names;
        const std::string text = readFile(path("site/" + page));
        const std::regex row("<tr class=\"(?:dir|file)\" data-name=\"([^\"]*)\"");
        for (std::sregex_iterator m(text.begin(), text.end(), row), end; m != end; ++m)
            names.push_back((*m)[1]);
        return names;
    }
    std::vector<std::string> dataFiles() {
        std::vector<std::string> texts;
        for (int n = 1;; ++n) {
            std::string file =
                path("site/" + ListingDataName("index.html", static_cast<std::size_t>(n)));
            if (!fs::exists(file)) return texts;
            texts.push_back(readFile(file));
        }
    }
    // The names in the folder that Tabulo wrote beside the page.
    std::vector<std::string> extras() {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(path("site"))) {
            std::string name = e.path().filename().string();
            ExtraFile kind = ExtraFileKind("index.html", name);
            if (kind != ExtraFile::None && kind != ExtraFile::PageScript) found.push_back(name);
        }
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST_F(LongListingTest, EveryRowOnceAcrossTheNumberedPagesInTheStartingOrder) {
    files(8);
    writeFile("site/sub/x.txt", "abc");
    go("site");
    EXPECT_EQ(extras(),
              (std::vector<std::string>{"index-2.html", "index-3.html", "index.rows-1.js"}));
    std::vector<std::string> all;
    for (const char* page : {"index.html", "index-2.html", "index-3.html"}) {
        auto shown = rows(page);
        EXPECT_LE(shown.size(), 3u) << page;
        all.insert(all.end(), shown.begin(), shown.end());
    }
    EXPECT_EQ(all, (std::vector<std::string>{"sub", "f1.txt", "f2.txt", "f3.txt", "f4.txt",
                                             "f5.txt", "f6.txt", "f7.txt", "f8.txt"}));
    // Each page leads to the others, and says which one it is in its first line and title.
    std::string second = readFile(path("site/index-2.html"));
    EXPECT_TRUE(second.starts_with(std::string(kNumberedPageMark) + "2 of 3 -->\r\n"));
    EXPECT_TRUE(contains(second, "<title>site, page 2 of 3</title>"));
    EXPECT_TRUE(
        contains(second,
                 "<a href=\"index.html\" rel=\"prev\">Previous</a> <a href=\"index.html\">1</a> "
                 "<span aria-current=\"page\">2</span> <a href=\"index-3.html\">3</a> "
                 "<a href=\"index-3.html\" rel=\"next\">Next</a>"));
    EXPECT_TRUE(readFile(path("site/index.html")).starts_with("<!DOCTYPE html>\r\n"));
    // The data file lists them in the same order.
    std::string data = readFile(path("site/index.rows-1.js"));
    EXPECT_TRUE(
        contains(data, "\n\"sub/f1.txt/f2.txt/f3.txt/f4.txt/f5.txt/f6.txt/f7.txt/f8.txt\",\n"));
    // With what the folder's tree holds, as its row on the page shows it.
    EXPECT_EQ(callIn(data).counts, "1");
    EXPECT_TRUE(contains(readFile(path("site/index.html")), "<td class=\"size\"> 3 Bytes &middot; 1 file</td>"));
}

TEST_F(LongListingTest, ManyPagesAreEachAFewStepsAway) {
    set("txtRowBudget", "1");
    files(250);
    go("site");
    std::string page = readFile(path("site/index-120.html"));
    std::smatch nav;
    ASSERT_TRUE(std::regex_search(page, nav, std::regex("<nav class=\"pages\"[^\\n]*</nav>")));
    std::vector<int> numbers;
    const std::string text = nav.str();
    const std::regex number(">([0-9]+)<");
    for (std::sregex_iterator m(text.begin(), text.end(), number), end; m != end; ++m)
        numbers.push_back(std::stoi((*m)[1]));
    EXPECT_EQ(numbers,
              (std::vector<int>{1,   70,  80,  90,  100, 110, 115, 116, 117, 118, 119, 120,
                                121, 122, 123, 124, 125, 130, 140, 150, 160, 170, 200, 250}));
}

TEST_F(LongListingTest, ShrinkingRemovesOnlyOurOwnFiles) {
    files(10);
    writeFile("site/index-9.html", "my own page, named like a numbered one");
    writeFile("site/index.rows-7.js", "// my own script");
    go("site");
    EXPECT_EQ(extras(),
              (std::vector<std::string>{"index-2.html", "index-3.html", "index-4.html",
                                        "index-9.html", "index.rows-1.js", "index.rows-7.js"}));
    // A user's files of such names are rows like any other.
    std::vector<std::string> all;
    for (const char* page : {"index.html", "index-2.html", "index-3.html", "index-4.html"}) {
        auto shown = rows(page);
        all.insert(all.end(), shown.begin(), shown.end());
    }
    EXPECT_EQ(std::count(all.begin(), all.end(), "index-9.html"), 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), "index.rows-7.js"), 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), "index-2.html"), 0);

    for (int i = 3; i <= 10; ++i) fs::remove(path("site/f" + std::to_string(i) + ".txt"));
    go("site");
    // Four rows: two pages and the data file.
    EXPECT_EQ(extras(), (std::vector<std::string>{"index-2.html", "index-9.html", "index.rows-1.js",
                                                  "index.rows-7.js"}));
    fs::remove(path("site/f2.txt"));
    go("site");
    EXPECT_EQ(extras(), (std::vector<std::string>{"index-9.html", "index.rows-7.js"}));
    EXPECT_EQ(readFile(path("site/index-9.html")), "my own page, named like a numbered one");
    EXPECT_EQ(readFile(path("site/index.rows-7.js")), "// my own script");
    // The classic style has no numbered pages: ours go there too.
    files(10, "g");
    go("site");
    EXPECT_EQ(extras().size(), 7u);
    select("optPageClassic");
    go("site");
    EXPECT_EQ(extras(), (std::vector<std::string>{"index-9.html", "index.rows-7.js"}));
}

TEST_F(LongListingTest, AUsersFileInThePlaceOfOneIsAskedAbout) {
    set("chkReplaceOlda", "0");
    files(5);
    writeFile("site/index-2.html", "mine");
    host.answers = {Answer::No};
    go("site");
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_TRUE(contains(host.questions.front(), "index-2.html")) << host.questions.front();
    EXPECT_EQ(readFile(path("site/index-2.html")), "mine");
    // It is no row: the page that should be there is asked for again.
    EXPECT_EQ(rows("index.html"), (std::vector<std::string>{"f1.txt", "f2.txt", "f3.txt"}));
    host.questions.clear();
    host.answers = {Answer::Yes};
    go("site");
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(rows("index-2.html"), (std::vector<std::string>{"f4.txt", "f5.txt"}));
    // Ours now: replaced without a question, only the page itself is asked about.
    host.questions.clear();
    host.answers = {Answer::Yes};
    writeFile("site/f6.txt");
    go("site");
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_TRUE(contains(host.questions.front(), "site/index.html")) << host.questions.front();
    EXPECT_EQ(rows("index-2.html"), (std::vector<std::string>{"f4.txt", "f5.txt", "f6.txt"}));
}

TEST_F(LongListingTest, ThePagesLoadOneScriptFromTheTop) {
    set("chkReqrsive", "1");
    files(5);
    writeFile("site/a/b/x.txt");
    files(5, "a/g");
    go("site");
    const std::string script = readFile(path("site/index.page.js"));
    EXPECT_EQ(script, PageScriptFile());
    EXPECT_TRUE(script.starts_with(std::string(kPageScriptMark) + "\r\n"));
    auto loads = [&](const std::string& page, const std::string& src) {
        const std::string text = readFile(path("site/" + page));
        return contains(text, "<script src=\"" + src + "\"></script>\r\n") &&
               !contains(text, "\"use strict\"");
    };
    EXPECT_TRUE(loads("index.html", "index.page.js"));
    EXPECT_TRUE(loads("index-2.html", "index.page.js"));
    EXPECT_TRUE(loads("a/index.html", "../index.page.js"));
    EXPECT_TRUE(loads("a/index-2.html", "../index.page.js"));
    EXPECT_TRUE(loads("a/b/index.html", "../../index.page.js"));
    EXPECT_EQ(rows("index.html"), (std::vector<std::string>{"a", "f1.txt", "f2.txt"}));

    // Gone, it comes back, also when no page has to be made again.
    fs::remove(path("site/index.page.js"));
    go("site");
    EXPECT_EQ(readFile(path("site/index.page.js")), script);

    // A user's file of that name stays, and is a row: the pages carry the script again.
    writeFile("site/index.page.js", "// mine");
    go("site");
    EXPECT_EQ(readFile(path("site/index.page.js")), "// mine");
    EXPECT_TRUE(contains(readFile(path("site/a/b/index.html")), "\"use strict\""));
    EXPECT_EQ(rows("index.html"), (std::vector<std::string>{"a", "f1.txt", "f2.txt"}));
    EXPECT_EQ(rows("index-2.html"), (std::vector<std::string>{"f3.txt", "f4.txt", "f5.txt"}));
    EXPECT_EQ(rows("index-3.html"), (std::vector<std::string>{"index.page.js"}));
}

TEST_F(LongListingTest, OneFileForEverythingHoldsEveryRow) {
    set("chkReqrsive", "1");
    files(7);
    writeFile("site/sub/x.txt");
    for (const char* mode : {"chkAllInOneFile", "chkAllInOneFolder"}) {
        set("txtWWWroot", path("site"));
        set("lblAllInOneFolder", path("site"));
        set(mode, "1");
        go("site");
        EXPECT_TRUE(extras().empty()) << mode;
        EXPECT_FALSE(fs::exists(path("site/index.page.js"))) << mode;  // each page has it
        set(mode, "0");
    }
    std::string page = readFile(path("site/index.html"));
    for (int i = 1; i <= 7; ++i)
        EXPECT_TRUE(contains(page, "data-name=\"f" + std::to_string(i) + ".txt\""));
}

TEST_F(LongListingTest, DataFileNamesStayInsideTheirStrings) {
    set("txtRowBudget", "10");
    const std::vector<std::string> hostile = {"\"><img src=x onerror=window.__pwned=1>",
                                              "<script>alert(1)<\\script>",
                                              "it's \"quoted\" & more",
                                              "line\xE2\x80\xA8separator",
                                              "para\xE2\x80\xA9graph",
                                              "tab\there",
                                              "back\\slash",
                                              "new\nline",
                                              "bad\xFF\xFE.bin",
                                              "caf\xC3\xA9",
                                              "\x7F"};
    for (const std::string& name : hostile) writeFile("site/" + name);
    for (int i = 0; i < 10; ++i) writeFile("site/plain" + std::to_string(i));
    go("site");
    auto texts = dataFiles();
    ASSERT_EQ(texts.size(), 1u);
    const std::string& text = texts[0];
    EXPECT_TRUE(text.starts_with(std::string(kListingDataMark) + "1 of 1 */\n"))
        << text.substr(0, 60);
    // Nothing that ends a string, a script or a line, and nothing that starts markup.
    std::string body = text.substr(text.find('\n') + 1);
    for (const char* bad : {"<", ">", "&", "\xE2\x80\xA8", "\xE2\x80\xA9", "\t", "\x7F", "\xFF"})
        EXPECT_EQ(body.find(bad), std::string::npos) << "raw " << bad;
    EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 3);
    DataCall call = callIn(text);
    const auto& names = call.names;
    EXPECT_EQ(names.size(), hostile.size() + 10);
    auto has = [&](const std::string& json) {
        return std::find(names.begin(), names.end(), json) != names.end();
    };
    EXPECT_TRUE(has("\\\"\\u003e\\u003cimg src=x onerror=window.__pwned=1\\u003e"));
    EXPECT_TRUE(has("line\\u2028separator"));
    EXPECT_TRUE(has("new\\nline"));
    EXPECT_TRUE(has("bad\xEF\xBF\xBD\xEF\xBF\xBD.bin"));  // U+FFFD for each stray byte
    // Its link is the name's own bytes; every other link is made from the name the data shows.
    EXPECT_TRUE(std::regex_match(call.links, std::regex("\"[0-9]+\":\"bad%FF%FE.bin\"")))
        << call.links;
}

TEST_F(LongListingTest, DataFilesTakeAtMostFortyBytesARowBesideTheName) {
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
    std::string packed = FromBase64(call.packed);
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

TEST_F(LongListingTest, TheWatchTakesThemForOurs) {
    EXPECT_TRUE(IsOwnOutput(engine.options(), "index-2.html"));
    EXPECT_TRUE(IsOwnOutput(engine.options(), "index.rows-3.js"));
    EXPECT_FALSE(IsOwnOutput(engine.options(), "index-of-papers.pdf"));
}

}  // namespace
}  // namespace tabulo::test
