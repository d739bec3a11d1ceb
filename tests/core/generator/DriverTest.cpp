#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/Text.h"
#include "support/Fixture.h"
#include "themes/Themes.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class DriverTest : public EngineTest {
  protected:
    // The folders whose pages were written, in order, relative to the site.
    std::vector<std::string> pagesWritten() const {
        std::vector<std::string> out;
        const std::string prefix = "Done generating index for : `";
        for (const auto& line : host.statusLines) {
            if (line.starts_with(prefix)) {
                std::string folder = line.substr(prefix.size(), line.size() - prefix.size() - 1);
                out.push_back(folder == root ? "." : folder.substr(root.size() + 1));
            }
        }
        return out;
    }
    std::string page(const std::string& relative = "") {
        return readFile(relative.empty() ? path("index.html") : path(relative + "/index.html"));
    }
};

TEST_F(DriverTest, WalksDepthFirstWithTheTopPageLast) {
    writeFile("a/b/x.txt", "x");
    writeFile("a/c/y.txt");
    writeFile("B2/z.txt");
    writeFile(".hidden/secret.txt");
    go();
    EXPECT_EQ(pagesWritten(), (std::vector<std::string>{"a", "a/b", "a/c", "B2", "."}));
    EXPECT_FALSE(fs::exists(path(".hidden/index.html")));
    EXPECT_EQ(host.statusLines.back(), "Done");
    EXPECT_EQ(engine.currentFolder(), root);
    EXPECT_EQ(engine.options().text(opt("txtTitle")), "site");  // the last page's name
}

TEST_F(DriverTest, AllInOneFolderLinksItsOwnPages) {
    writeFile("a/b/x.txt");
    select("optAllInOneFolder");  // sets the www root from the folder list, without a lock
    EXPECT_EQ(engine.options().text(opt("txtWWWroot")), root);
    go();
    for (const char* name : {"index.html", "index_of-a.html", "index_of-a_per_b.html"}) {
        EXPECT_TRUE(fs::exists(path(name))) << name;
    }
    EXPECT_NE(readFile(path("index.html")).find("<a href=\"index_of-a.html\">"), std::string::npos);
    EXPECT_NE(readFile(path("index_of-a.html")).find("<a href=\"index.html\">"), std::string::npos);
    EXPECT_NE(readFile(path("index_of-a_per_b.html")).find("<a href=\"index_of-a.html\">"),
              std::string::npos);
    EXPECT_EQ(host.opened, std::vector<std::string>{path("index.html") + " in " + root});
    // The local path above the site never reaches a page.
    EXPECT_EQ(readFile(path("index.html")).find("tabulo-test"), std::string::npos);
}

TEST_F(DriverTest, WithoutRecursionOnePageAlsoInAllInOneModes) {
    writeFile("a/x.txt");
    set("chkReqrsive", "0");
    select("optAllInOneFile");
    go();
    EXPECT_EQ(pagesWritten(), (std::vector<std::string>{"."}));
    EXPECT_TRUE(page().ends_with("</BODY></HTML>\r\n"));  // the footer is still appended
}

TEST_F(DriverTest, HugeNumbersFromAThemeGiveSanePages) {
    writeFile("long-name-0123456789.txt");
    ApplyThemeText(
        engine,
        "chkTable.Value=1e300\r\nchkIcons32.Value=1\r\ntxtIcons32.Text=99999999999x1e400\r\n"
        "txtBorder.Text=1e300\r\ntxtFontSize.Text=1e300\r\nchkReplaceOlda.Value=1\r\n");
    for (auto [limit, shown] : std::vector<std::pair<std::string, std::string>>{
             {"1e30", "long-name-0123456789.txt"}, {"-1e30", "..."}, {"4.9", "long..."}}) {
        set("txtLenght", limit);
        go();
        std::string p = page();
        EXPECT_TRUE(contains(p, "<table border=\"1e300\""));  // chkTable stays on
        // No height: the number is too large to be one.
        EXPECT_TRUE(contains(p, "<img width=\"99999999999\" border=\"0\"  alt=\"txt\""));
        EXPECT_TRUE(contains(p, "\"> " + shown + "</a>")) << limit;
    }
}

TEST_F(DriverTest, OverwriteQuestionYesNoCancel) {
    writeFile("a/index.html", "old a");
    writeFile("b/index.html", "old b");
    writeFile("c/index.html", "old c");
    writeFile("index.html", "old top");
    host.answers = {Answer::Yes, Answer::No, Answer::Cancel};
    go();
    ASSERT_EQ(host.questions.size(), 3u);  // no question after Cancel
    EXPECT_EQ(host.questions[0], "Tabulo: Overwrite '" + path("a/index.html") + "' ?");
    EXPECT_NE(page("a"), "old a");
    EXPECT_EQ(page("b"), "old b");
    EXPECT_EQ(page("c"), "old c");
    EXPECT_EQ(page(), "old top");
    EXPECT_EQ(host.statusLines.back(), "Done");  // the run still ends normally
}

TEST_F(DriverTest, NoAnswerStillWalksTheSubfolders) {
    writeFile("a/index.html", "old a");
    writeFile("a/b/x.txt");
    go();
    EXPECT_EQ(page("a"), "old a");
    EXPECT_TRUE(fs::exists(path("a/b/index.html")));
}

TEST_F(DriverTest, SymbolicLinkLoopIsSkipped) {
    writeFile("a/x.txt");
    fs::create_directory_symlink(root, path("a/back"));
    fs::create_directory_symlink(path("a"), path("also-a"));
    fs::create_symlink(path("missing"), path("dangling.txt"));
    set("chkReplaceOlda", "1");  // "also-a" is "a" again: its page is replaced unasked
    go();
    EXPECT_EQ(pagesWritten(), (std::vector<std::string>{"a", "also-a", "."}));
    EXPECT_TRUE(std::any_of(host.statusLines.begin(), host.statusLines.end(), [&](auto& l) {
        return l == "Skipping `" + path("a/back") + "`: it leads back to a folder above it.";
    }));
    EXPECT_EQ(page().find("dangling"), std::string::npos);
    EXPECT_NE(page("a").find("back/index.html"), std::string::npos);  // still listed
    EXPECT_FALSE(host.sawError());
}

TEST_F(DriverTest, FolderRemovedDuringTheRunIsSkipped) {
    writeFile("a/x.txt");
    writeFile("b/y.txt");
    writeFile("c/z.txt");
    // After the first folder level is done, "b" goes away.
    struct Remover : ScriptedHost {
        std::string victim;
        void processEvents() override {
            if (!victim.empty()) fs::remove_all(victim), victim.clear();
        }
    };
    Remover remover;
    remover.victim = path("b");
    Engine e(remover);
    e.today = engine.today;
    e.setCurrentFolder(root);
    e.cmdGo_Click();
    EXPECT_TRUE(fs::exists(path("c/index.html")));
    EXPECT_TRUE(std::any_of(remover.statusLines.begin(), remover.statusLines.end(), [&](auto& l) {
        return l.starts_with("Error reading folder `" + path("b") + "`");
    }));
    EXPECT_EQ(remover.statusLines.back(), "Done");
}

TEST_F(DriverTest, PageThatCannotBeWrittenKeepsTheRunGoing) {
    writeFile("a/x.txt");
    makeFolder("b/index.html");  // a folder where the page should go
    writeFile("b/c/y.txt");
    host.answers = {Answer::Yes};
    go();
    EXPECT_TRUE(fs::is_directory(path("b/index.html")));
    EXPECT_TRUE(fs::exists(path("b/c/index.html")));
    EXPECT_TRUE(fs::exists(path("index.html")));
    EXPECT_TRUE(host.sawError());
    EXPECT_EQ(host.statusLines.back(), "Done");
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".tabulo-")) << entry.path();
    }
}

TEST_F(DriverTest, FailureOnTheTopPageEndsTheRun) {
    writeFile("index.html", "good old page");
    set("txtIndexHtm", std::string(300, 'x') + ".html");  // too long for the file system
    go();
    EXPECT_EQ(page(), "good old page");
    EXPECT_NE(host.statusLines.back(), "Done");
    EXPECT_TRUE(host.statusLines.back().starts_with("Error writing index for `" + root + "`"));
}

TEST_F(DriverTest, NeededIconsSurviveARun) {
    writeFile("x.TXT");
    writeFile("y.tmp");  // excluded, but its icon still counts
    go();
    go();
    EXPECT_EQ(engine.neededIcons().names(),
              (std::vector<std::string>{"dir", "unknown", "txt", "tmp", "end_"}));
}

TEST_F(DriverTest, StylesheetOnlyFromTheWwwRoot) {
    writeFile("a/x.txt");
    select("optCssNew");
    go("a");  // the selected folder is the www root
    EXPECT_TRUE(fs::exists(path("a/index.css")));
    set("txtWWWroot", root);
    set("txtWWWRootDepth", std::to_string(std::count(root.begin(), root.end(), '/')));
    fs::remove(path("a/index.css"));
    set("chkReplaceOlda", "1");
    go("a");
    EXPECT_FALSE(fs::exists(path("a/index.css")));
    EXPECT_NE(page("a").find("<link rel=\"stylesheet\" href=\"../index.css\">"), std::string::npos);
}

TEST_F(DriverTest, AllInOneCancelLeavesTheOldPageWhole) {
    writeFile("a/x.txt");
    writeFile("index.html", "old");
    select("optAllInOneFile");
    host.answers = {Answer::Cancel};
    go();
    EXPECT_EQ(page(), "old");  // no stray footer appended
}

}  // namespace
}  // namespace tabulo::test
