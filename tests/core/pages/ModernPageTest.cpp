#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <tuple>

#include "colours/Contrast.h"
#include "common/Text.h"
#include "pages/ModernPage.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class ModernPageTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        select("optPageModern");
        select("optName");
    }
    std::string page(const std::string& folder = "site") {
        return readFile(path(folder + "/index.html"));
    }
    // The names of the rows, in the order the page shows them.
    static std::vector<std::string> rowNames(const std::string& page) {
        std::vector<std::string> names;
        const std::regex row("<tr class=\"(?:dir|file)\" data-name=\"([^\"]*)\"");
        for (std::sregex_iterator m(page.begin(), page.end(), row), end; m != end; ++m)
            names.push_back((*m)[1]);
        return names;
    }
    // Runs a shell command; its exit status.
    static int shell(const std::string& command) {
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string golden(const std::string& name) {
        return crlf(readFile(TABULO_TEST_DATA "/pages/" + name));
    }
    // The page as the golden file says; TABULO_REFRESH_GOLDEN=1 writes the golden file anew
    // (with LF line ends, as it is kept) after a deliberate change of the page.
    static void expectGolden(const std::string& actual, const std::string& name) {
        if (std::getenv("TABULO_REFRESH_GOLDEN")) {
            std::string lf;
            for (std::size_t i = 0; i < actual.size(); ++i)
                if (!(actual[i] == '\r' && i + 1 < actual.size() && actual[i + 1] == '\n')) lf += actual[i];
            std::ofstream(TABULO_TEST_DATA "/pages/" + name, std::ios::binary) << lf;
        }
        EXPECT_EQ(actual, golden(name));
    }
};

TEST_F(ModernPageTest, SmallTreeByteForByte) {
    writeFile("site/a.txt", "hello");
    writeFile("site/file10.txt", std::string(2048, 'x'));
    writeFile("site/file2.txt");
    writeFile("site/desc.txt", "Welcome, \"to my, site\"\n");
    writeFile("site/README.md", "# Notes\n\nSee [the docs](sub/x.pdf).\n");
    writeFile("site/sub/x.pdf", "%PDF");
    setTime("site/a.txt", 1700000000);
    setTime("site/file10.txt", 1600000000);
    setTime("site/file2.txt", 1650000000);
    setTime("site/README.md", 1500000000);
    setTime("site/sub/x.pdf", 1400000000);
    set("txtWWWroot", path("site"));
    go("site/sub");
    setTime("site/sub", 1750000000);
    set("chkReqrsive", "0");
    go("site");
    expectGolden(page(), "modern-top.html");
    expectGolden(page("site/sub"), "modern-sub.html");
    EXPECT_TRUE(fs::is_regular_file(path("site/pics/icons/pdf.gif")));
}

TEST_F(ModernPageTest, EachSortKeyFoldersFirstAndInverse) {
    writeFile("site/b10.txt", "1234");
    writeFile("site/b9.zip", "1");
    writeFile("site/A.pdf", "123");
    writeFile("site/c.gz", "12");
    makeFolder("site/z-folder");
    makeFolder("site/a-folder");
    setTime("site/b10.txt", 400);
    setTime("site/b9.zip", 300);
    setTime("site/A.pdf", 100);
    setTime("site/c.gz", 200);
    setTime("site/z-folder", 50);
    setTime("site/a-folder", 60);
    set("chkReqrsive", "0");
    set("chkIcons", "0");
    for (const char* column : {"chkColuSize", "chkColuTime", "chkColuDesc"}) set(column, "1");
    struct Case {
        const char* key;
        std::string column;  // the header cell that shows the order
        std::vector<std::string> order;
    };
    const std::vector<Case> cases = {
        {"optName", "name", {"a-folder", "z-folder", "A.pdf", "b9.zip", "b10.txt", "c.gz"}},
        {"optExten", "type", {"a-folder", "z-folder", "c.gz", "A.pdf", "b10.txt", "b9.zip"}},
        {"optDate", "time", {"z-folder", "a-folder", "A.pdf", "c.gz", "b9.zip", "b10.txt"}},
        {"optSize", "size", {"a-folder", "z-folder", "b9.zip", "c.gz", "A.pdf", "b10.txt"}},
    };
    // The header shows the order the page starts in: one column, marked with its direction.
    auto marked = [](const std::string& page) {
        std::vector<std::string> found;
        const std::regex cell("data-key=\"([a-z]+)\" aria-sort=\"([a-z]+)\"");
        for (std::sregex_iterator m(page.begin(), page.end(), cell), end; m != end; ++m)
            found.push_back((*m)[1].str() + " " + (*m)[2].str());
        return found;
    };
    for (const auto& [key, column, order] : cases) {
        select(key);
        set("chkInverseSortorder", "0");
        set("chkReplaceOlda", "1");
        go("site");
        EXPECT_EQ(rowNames(page()), order) << key;
        EXPECT_EQ(marked(page()), std::vector<std::string>{column + " ascending"}) << key;
        set("chkInverseSortorder", "1");
        go("site");
        std::vector<std::string> inverse(order.begin(), order.begin() + 2);
        std::reverse(inverse.begin(), inverse.end());
        inverse.insert(inverse.end(), order.rbegin(), order.rend() - 2);
        EXPECT_EQ(rowNames(page()), inverse) << key;
        EXPECT_EQ(marked(page()), std::vector<std::string>{column + " descending"}) << key;
    }
}

// Names equal but for letter case come in one order: letters without regard to case, then
// byte by byte; on classic pages as the folder listing sorts them, on modern ones as well.
TEST_F(ModernPageTest, NamesInFoldedOrderWithTiesByBytes) {
    for (const char* name : {"b", "aB", "B", "a", "Ab", "A", "zinc", "Zone", "yard"})
        makeFolder(std::string("site/") + name);
    for (const char* name : {"x.txt", "Xy.txt", "X.TXT", "xY.txt", "x.TXT", "X.txt", "Zoo.txt",
                             "zebra.txt", "Zeta.txt", "apple.txt", "yak.txt", "\xC3\xA9-Zeta.txt",
                             "\xC3\xA9-zebra.txt", "\xC3\xA9-yak.txt"})
        writeFile(std::string("site/") + name);
    set("chkReqrsive", "0");
    set("chkIcons", "0");
    set("chkReplaceOlda", "1");
    std::vector<std::string> expected;
    for (const char* folder : {"A", "a", "Ab", "aB", "B", "b", "yard", "zinc", "Zone"})
        expected.push_back(std::string(folder) + "/index.html");
    for (const char* file : {"apple.txt", "X.TXT", "X.txt", "x.TXT", "x.txt", "Xy.txt", "xY.txt",
                             "yak.txt", "zebra.txt", "Zeta.txt", "Zoo.txt", "%C3%A9-yak.txt",
                             "%C3%A9-zebra.txt", "%C3%A9-Zeta.txt"})
        expected.push_back(file);
    for (const char* style : {"optPageClassic", "optPageModern"}) {
        select(style);
        go("site");
        // The links of the rows, in the order the page shows them.
        std::vector<std::string> links;
        const std::string p = page();
        const std::regex row("<td><a href=\"([^\"]*)\"");
        for (std::sregex_iterator m(p.begin(), p.end(), row), end; m != end; ++m)
            links.push_back((*m)[1]);
        EXPECT_EQ(links, expected) << style;
    }
}

// Only README.md is Markdown; a README without an extension and readme.txt are plain text.
TEST_F(ModernPageTest, ReadmeIsMarkdownOnlyWithItsExtension) {
    const std::string text = "# Title\n\n*not emphasis* <b>x</b>\n";
    const std::string plain = "<pre># Title\r\n\r\n*not emphasis* &lt;b&gt;x&lt;/b&gt;\r\n</pre>";
    const std::string markdown = "<h1>Title</h1>";
    writeFile("site/md/README.md", text);
    writeFile("site/MD/ReadMe.MD", text);
    writeFile("site/bare/README", text);
    writeFile("site/lower/readme", text);
    writeFile("site/txt/readme.txt", text);
    writeFile("site/both/README.md", text);
    writeFile("site/both/README", "other");
    writeFile("site/two/README", text);
    writeFile("site/two/readme.txt", "other");
    set("chkHeading", "0");
    go("site");
    for (auto [folder, file, shown] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"md", "README.md", markdown},
             {"MD", "ReadMe.MD", markdown},
             {"bare", "README", plain},
             {"lower", "readme", plain},
             {"txt", "readme.txt", plain},
             {"both", "README.md", markdown},
             {"two", "README", plain}}) {
        const std::string p = page("site/" + folder);
        EXPECT_TRUE(contains(p, "<article class=\"readme\" aria-label=\"" + file + "\">"))
            << folder;
        EXPECT_TRUE(contains(p, shown)) << folder << p;
        EXPECT_FALSE(contains(p, shown == plain ? markdown : "<pre>")) << folder;
    }
}

// Every crumb leads to the page of the folder it names, from each depth below the www root.
TEST_F(ModernPageTest, CrumbsLeadToTheirPagesAtEveryDepth) {
    writeFile("site/a/b/c/x.txt");
    set("txtWWWroot", path("site"));
    go("site");
    const std::vector<std::string> folders = {"site", "site/a", "site/a/b", "site/a/b/c"};
    for (std::size_t depth = 0; depth < folders.size(); ++depth) {
        const std::string p = page(folders[depth]);
        auto start = p.find("<nav class=\"crumbs\"");
        ASSERT_NE(start, std::string::npos) << depth;
        const std::string nav = p.substr(start, p.find("</nav>", start) - start);
        std::vector<std::string> links;
        const std::regex link("<a href=\"([^\"]*)\">([^<]*)</a>");
        for (std::sregex_iterator m(nav.begin(), nav.end(), link), end; m != end; ++m) {
            std::size_t level = links.size();
            links.push_back((*m)[1]);
            ASSERT_LT(level, depth);
            EXPECT_EQ((*m)[2], fs::path(folders[level]).filename().string()) << depth;
            // The link, followed from the page's own folder, reaches the crumb's page.
            std::string up;
            for (std::size_t i = level; i < depth; ++i) up += "../";
            EXPECT_EQ((*m)[1], up + "index.html") << depth << " " << level;
            EXPECT_EQ(fs::weakly_canonical(path(folders[depth]) + "/" + (*m)[1].str()),
                      fs::path(path(folders[level] + "/index.html")))
                << depth << " " << level;
        }
        EXPECT_EQ(links.size(), depth);
        EXPECT_TRUE(
            nav.ends_with("<span>" + fs::path(folders[depth]).filename().string() + "</span>"))
            << nav;
    }
}

TEST_F(ModernPageTest, HostileNamesAndReadmeStayInert) {
    writeFile("site/\"><script>alert(1)<script>.txt");
    writeFile("site/it's <b>bold</b> & more.txt");
    writeFile("site/README.md",
              "<script>alert(2)</script>\n\n[a](javascript:alert(3)) [b](JAVASCRIPT:alert(4)) "
              "<img src=x onerror=alert(5)> ![c](https://example.org/track.png) [ok](sub/)\n");
    set("chkReqrsive", "0");
    go("site");
    std::string p = page();
    EXPECT_EQ(p.find("<script>alert"), std::string::npos);
    EXPECT_EQ(asciiLower(p).find("javascript:"), std::string::npos);
    EXPECT_EQ(p.find("onerror"), std::string::npos);
    EXPECT_EQ(p.find("src=\"https://"), std::string::npos);  // nothing loads from elsewhere
    EXPECT_EQ(p.find("src=\"http://"), std::string::npos);
    EXPECT_TRUE(contains(p, "<a href=\"sub/\">ok</a>"));
    EXPECT_TRUE(contains(p, "data-name=\"&quot;&gt;&lt;script&gt;alert(1)&lt;script&gt;.txt\""));
    EXPECT_TRUE(contains(p, "href=\"%22%3E%3Cscript%3Ealert(1)%3Cscript%3E.txt\""));
    // One script, the page's own, at its end.
    EXPECT_EQ(p.find("<script>"), p.rfind("<script>"));
    EXPECT_TRUE(contains(p, "README.md"));  // still listed
}

TEST_F(ModernPageTest, WorksWithoutScriptsAndPassesTidy) {
    writeFile("site/one.txt");
    writeFile("site/sub/two.txt");
    writeFile("site/readme.txt", "plain <text>\n");
    set("chkSumSize", "1");
    set("chkColuDesc", "1");
    go("site");
    std::string p = page();
    // Every row is a plain link in the document; the filter box shows only with the script.
    EXPECT_TRUE(contains(p, "<a href=\"one.txt\">"));
    EXPECT_TRUE(contains(p, "<a href=\"sub/index.html\">"));
    EXPECT_TRUE(contains(p, "aria-label=\"Filter names\" hidden>"));
    EXPECT_TRUE(contains(p, "<pre>plain &lt;text&gt;\r\n</pre>"));
    EXPECT_TRUE(contains(p, "<meta name=\"viewport\""));
    // No resource from elsewhere: every src and stylesheet is the site's own.
    EXPECT_FALSE(std::regex_search(p, std::regex("(src|href)=\"(https?:)?//[^\"]*\\.(css|js|png|gif)")));
    for (const char* file : {"site/index.html", "site/sub/index.html"}) {
        EXPECT_LT(shell("tidy -e -q '" + path(file) + "' 2>" + path("tidy.txt")), 2)
            << readFile(path("tidy.txt"));
    }
}

TEST_F(ModernPageTest, AllInOneFileHasOneFilterAndEverySection) {
    writeFile("site/a/x.txt");
    writeFile("site/b/y.txt");
    select("optAllInOneFile");
    set("txtWWWroot", path("site"));
    set("lblAllInOneFolder", path("site"));
    go("site");
    std::string p = page();
    EXPECT_EQ(std::count(p.begin(), p.end(), '\n'), std::count(p.begin(), p.end(), '\r'));
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (auto at = p.find(what); at != std::string::npos; at = p.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("class=\"filter\""), 1u);
    EXPECT_EQ(count("<section class=\"folder\""), 3u);
    EXPECT_EQ(count("<table class=\"listing\""), 3u);
    EXPECT_EQ(count("</html>"), 1u);
    EXPECT_TRUE(contains(p, "<a href=\"#index_of-a.html\">"));
    EXPECT_TRUE(contains(p, "<section class=\"folder\" id=\"index_of-a.html\">"));
}

TEST_F(ModernPageTest, JsonListingReadsBackForHostileNames) {
    const std::vector<std::string> names = {
        "quote\".txt", "back\\slash.txt", "tab\there.txt", "new\nline.txt", "bad\xFF\xFE.bin",
        "caf\xC3\xA9.txt", "<x>&<y>.txt", "\xE2\x80\xA8sep.txt"};
    for (const auto& n : names) writeFile("site/" + n, "12345");
    writeFile("site/skip.tmp");  // excluded from the page, so from the listing too
    makeFolder("site/folder");
    setTime("site/caf\xC3\xA9.txt", 1765000000);
    select("optPageClassic");
    set("chkJsonListing", "1");
    set("chkReqrsive", "0");
    go("site");
    const std::string json = path("site/index.json");
    ASSERT_TRUE(fs::exists(json));
    const std::string check = path("check.py");
    std::ofstream(check) << R"(import json, sys
rows = json.load(open(sys.argv[1], encoding="utf-8"))
assert rows[0] == {"name": "folder", "type": "directory", "mtime": rows[0]["mtime"]}, rows[0]
names = [r["name"] for r in rows[1:]]
assert all(r["type"] == "file" and r["size"] == 5 for r in rows[1:]), rows
assert "skip.tmp" not in names and "index.html" not in names, names
for expected in ["quote\".txt", "back\\slash.txt", "tab\there.txt", "new\nline.txt",
                 "bad\ufffd\ufffd.bin", "caf\u00e9.txt", "<x>&<y>.txt", "\u2028sep.txt"]:
    assert expected in names, (expected, names)
cafe = [r for r in rows if r["name"] == "caf\u00e9.txt"][0]
assert cafe["mtime"] == "Sat, 06 Dec 2025 05:46:40 GMT", cafe
)";
    EXPECT_EQ(shell("python3 '" + check + "' '" + json + "'"), 0) << readFile(json);
    // The page's order, which the classic page takes from the names.
    std::string text = readFile(json);
    EXPECT_LT(text.find("back\\\\slash"), text.find("quote\\\""));
}

// The page keeps the colours chosen; the pairs hard to read are said once, as the run starts.
TEST_F(ModernPageTest, HardToReadColoursAreNamedOnceAsTheRunStarts) {
    writeFile("site/a.txt");
    writeFile("site/sub/b.txt");
    set("chkReplaceOlda", "1");
    auto notes = [&] {
        std::vector<std::string> found;
        for (const std::string& line : host.statusLines)
            if (line.starts_with("Low contrast")) found.push_back(line);
        host.statusLines.clear();
        return found;
    };
    // The colours every theme starts with: the visited links on the page, links on the cells.
    go("site");
    EXPECT_EQ(notes(), std::vector<std::string>{
                           "Low contrast: visited link #d000d0 on page #f0f0f0 (4.0:1), link "
                           "#0000ff on cells #aaaaaa (3.7:1), visited link #d000d0 on cells "
                           "#aaaaaa (2.0:1); 4.5:1 is needed."});
    EXPECT_TRUE(contains(page(), "--link:#0000ff;")) << page();
    EXPECT_TRUE(contains(page("site/sub"), "--visited:#d000d0;"));

    // One pair; a background under two parts of the page named once.
    engine.options().setColour(6, "551a8b");
    go("site");
    EXPECT_EQ(notes(), std::vector<std::string>{
                           "Low contrast: link #0000ff on cells #aaaaaa (3.7:1; 4.5:1 is needed)."});
    engine.options().setColour(4, "555555");
    go("site");
    EXPECT_EQ(notes(), std::vector<std::string>{
                           "Low contrast: text #555555 on table and cells #aaaaaa (3.2:1), link "
                           "#0000ff on cells #aaaaaa (3.7:1); 4.5:1 is needed."});

    // Colours that read well, the page's own neutral ones, or a classic page: nothing said.
    int slot = 0;
    for (const char* colour : {"f7f7f7", "e8e8e8", "ffffff", "8c8c8c", "1a1a1a", "0645ad", "6b3fa0"})
        engine.options().setColour(slot++, colour);
    go("site");
    EXPECT_EQ(notes(), std::vector<std::string>{});
    engine.options().setColour(5, "0000ff");
    engine.options().setColour(2, "aaaaaa");
    set("chkColor", "0");
    go("site");
    EXPECT_EQ(notes(), std::vector<std::string>{});
    set("chkColor", "1");
    select("optPageClassic");
    go("site");
    EXPECT_EQ(notes(), std::vector<std::string>{});
    EXPECT_FALSE(host.sawError());
}

// Dark screens get the chosen hues made light enough to read on every background, whatever the
// light colours were.
TEST_F(ModernPageTest, DarkColoursReadOnEveryBackground) {
    const char* colours[] = {"ffffff", "f0f0f0", "aaaaaa", "777777", "000000", "ffff00", "00ff00",
                             "00ffff", "ff0000", "0000ff", "ff00ff", "808000", "d000d0", "0645ad"};
    for (const char* back : colours) {
        for (const char* text : colours) {
            Options o;
            for (int slot : {0, 1, 2}) o.setColour(slot, back);
            for (int slot : {4, 5, 6}) o.setColour(slot, text);
            EXPECT_FALSE(contains(ModernContrastNote(o), "dark")) << back << " " << text;
        }
    }
    // As the page writes them: a yellow cell and a blue link, which the plain lightening left
    // at 2.7:1.
    writeFile("site/a.txt");
    engine.options().setColour(2, "ffff00");
    go("site");
    const std::string p = page();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(p, m, std::regex("prefers-color-scheme:dark\\)\\{:root\\{--page:#(\\w+);"
                                                   "--table:#(\\w+);--cell:#(\\w+);--line:#\\w+;"
                                                   "--text:#(\\w+);--link:#(\\w+);--visited:#(\\w+);")))
        << p;
    auto rgb = [&](int i) { return static_cast<Rgb>(std::stoul(m[i].str(), nullptr, 16)); };
    for (int text : {4, 5, 6}) {
        for (int back : {1, 2, 3})
            EXPECT_GE(ContrastRatio(rgb(text), rgb(back)), kTextContrast) << m[text] << " " << m[back];
    }
    EXPECT_NE(m[5].str(), "8080ff");
}

}  // namespace
}  // namespace tabulo::test
