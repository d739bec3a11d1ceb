// A modern page longer than the row budget: its numbered pages and data files are written,
// kept, replaced and removed as Tabulo's own, and never taken for a user's files or rows.
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "commands/Watch.h"
#include "common/Text.h"
#include "listing/OutputNames.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

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
    // The names in the folder that Tabulo wrote beside the page.
    std::vector<std::string> extras() {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(path("site"))) {
            std::string name = e.path().filename().string();
            if (ExtraFileKind("index.html", name) != ExtraFile::None) found.push_back(name);
        }
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST_F(LongListingTest, EveryRowOnceAcrossTheNumberedPagesInTheStartingOrder) {
    files(8);
    makeFolder("site/sub");
    go("site");
    EXPECT_EQ(extras(), (std::vector<std::string>{"index-2.html", "index-3.html", "index.rows-1.js"}));
    std::vector<std::string> all;
    for (const char* page : {"index.html", "index-2.html", "index-3.html"}) {
        auto shown = rows(page);
        EXPECT_LE(shown.size(), 3u) << page;
        all.insert(all.end(), shown.begin(), shown.end());
    }
    EXPECT_EQ(all, (std::vector<std::string>{"sub", "f1.txt", "f2.txt", "f3.txt", "f4.txt", "f5.txt",
                                             "f6.txt", "f7.txt", "f8.txt"}));
    // Each page leads to the others, and says which one it is in its first line and title.
    std::string second = readFile(path("site/index-2.html"));
    EXPECT_TRUE(second.starts_with(std::string(kNumberedPageMark) + "2 of 3 -->\r\n"));
    EXPECT_TRUE(contains(second, "<title>site, page 2 of 3</title>"));
    EXPECT_TRUE(contains(second, "<a href=\"index.html\" rel=\"prev\">Previous</a> <a href=\"index.html\">1</a> "
                                 "<span aria-current=\"page\">2</span> <a href=\"index-3.html\">3</a> "
                                 "<a href=\"index-3.html\" rel=\"next\">Next</a>"));
    EXPECT_TRUE(readFile(path("site/index.html")).starts_with("<!DOCTYPE html>\r\n"));
    // The data file lists them in the same order.
    std::string data = readFile(path("site/index.rows-1.js"));
    EXPECT_TRUE(contains(data, "\n\"sub/f1.txt/f2.txt/f3.txt/f4.txt/f5.txt/f6.txt/f7.txt/f8.txt\",\n"));
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
    EXPECT_EQ(numbers, (std::vector<int>{1, 70, 80, 90, 100, 110, 115, 116, 117, 118, 119, 120, 121, 122,
                                         123, 124, 125, 130, 140, 150, 160, 170, 200, 250}));
}

TEST_F(LongListingTest, ShrinkingRemovesOnlyOurOwnFiles) {
    files(10);
    writeFile("site/index-9.html", "my own page, named like a numbered one");
    writeFile("site/index.rows-7.js", "// my own script");
    go("site");
    EXPECT_EQ(extras(), (std::vector<std::string>{"index-2.html", "index-3.html", "index-4.html",
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
        set(mode, "0");
    }
    std::string page = readFile(path("site/index.html"));
    for (int i = 1; i <= 7; ++i) EXPECT_TRUE(contains(page, "data-name=\"f" + std::to_string(i) + ".txt\""));
}

TEST_F(LongListingTest, TheWatchTakesThemForOurs) {
    EXPECT_TRUE(IsOwnOutput(engine.options(), "index-2.html"));
    EXPECT_TRUE(IsOwnOutput(engine.options(), "index.rows-3.js"));
    EXPECT_FALSE(IsOwnOutput(engine.options(), "index-of-papers.pdf"));
}

}  // namespace
}  // namespace tabulo::test
