#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "commands/ThemeCommands.h"
#include "common/Text.h"
#include "support/Fixture.h"

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
    bool said(const std::string& line) const {
        return std::find(host.statusLines.begin(), host.statusLines.end(), line) !=
               host.statusLines.end();
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
    EXPECT_EQ(host.statusLines.back(), "Cancelled");  // the run goes on to its end
}

TEST_F(DriverTest, AnswersToAllStandForTheRestOfTheRun) {
    for (Answer first : {Answer::YesToAll, Answer::NoToAll}) {
        for (const char* f : {"a/index.html", "b/index.html", "index.html"}) writeFile(f, "old");
        host.questions.clear();
        host.answers = {first};
        go();
        EXPECT_EQ(host.questions.size(), 1u);
        const std::string expected = first == Answer::YesToAll ? "" : "old";
        for (const char* f : {"a", "b", ""}) {
            EXPECT_EQ(page(f) == "old", first == Answer::NoToAll) << f;
        }
        EXPECT_EQ(host.statusLines.back(), "Done");
    }
}

// What a tool answers when no one is there to ask: a standing Cancel ends the replacing at
// the first page that is there, as Cancel clicked then would; pages before it are written.
TEST_F(DriverTest, AStandingCancelStopsAtTheFirstPageThatIsThere) {
    struct CancellingHost : ScriptedHost {
        std::optional<Answer> standingAnswer() const override { return Answer::Cancel; }
    };
    for (int jobs : {1, 4}) {
        const std::string top = "jobs" + std::to_string(jobs);
        writeFile(top + "/a/x.txt");
        writeFile(top + "/b/index.html", "old b");
        writeFile(top + "/c/x.txt");
        writeFile(top + "/d/index.html", "old d");
        writeFile(top + "/e/x.txt");
        CancellingHost cancelling;
        Engine e(cancelling);
        e.today = engine.today;
        e.setJobs(jobs);
        e.setCurrentFolder(path(top));
        e.cmdGo_Click();
        EXPECT_TRUE(cancelling.questions.empty());
        EXPECT_TRUE(fs::exists(path(top + "/a/index.html"))) << jobs;
        EXPECT_EQ(readFile(path(top + "/b/index.html")), "old b");
        EXPECT_FALSE(fs::exists(path(top + "/c/index.html"))) << jobs;
        EXPECT_EQ(readFile(path(top + "/d/index.html")), "old d");
        EXPECT_FALSE(fs::exists(path(top + "/e/index.html"))) << jobs;
        EXPECT_FALSE(fs::exists(path(top + "/index.html"))) << jobs;
        EXPECT_EQ(cancelling.statusLines.back(), "Cancelled");
    }
}

TEST_F(DriverTest, ProgressCountsFoldersDoneOfFoldersFound) {
    writeFile("a/b/x.txt");
    writeFile("a/c/y.txt");
    writeFile("d/z.txt");
    go();
    ASSERT_FALSE(host.progressReports.empty());
    int lastDone = 0;
    for (auto [done, found] : host.progressReports) {
        EXPECT_EQ(done, lastDone + 1);
        EXPECT_LE(done, found);
        lastDone = done;
    }
    EXPECT_EQ(host.progressReports.back(), std::make_pair(5, 5));
}

TEST_F(DriverTest, NoAnswerStillWalksTheSubfolders) {
    writeFile("a/index.html", "old a");
    writeFile("a/b/x.txt");
    go();
    EXPECT_EQ(page("a"), "old a");
    EXPECT_TRUE(fs::exists(path("a/b/index.html")));
}

TEST_F(DriverTest, LinkedFoldersAreWalkedOnlyInsideTheTreeAndOnce) {
    // The fixture's site lies in a temporary folder; "outside" is that folder's other child.
    const std::string outside = fs::path(root).parent_path().string() + "/outside";
    fs::create_directories(outside + "/deep");
    writeFile("a/x.txt");
    writeFile(".store/kept/y.txt");
    fs::create_directory_symlink(root, path("a/back"));            // loops
    fs::create_directory_symlink(path("a"), path("also-a"));       // walked anyway as "a"
    fs::create_directory_symlink(outside, path("out"));            // leaves the tree
    fs::create_directory_symlink(path(".store"), path("store"));   // hidden: only via the link
    fs::create_directory_symlink(path(".store"), path("store2"));  // the same folder again
    fs::create_directory_symlink("../..", path("a/up"));           // above the tree
    fs::create_symlink(path("missing"), path("dangling.txt"));
    go();
    EXPECT_EQ(pagesWritten(), (std::vector<std::string>{"a", "store", "store/kept", "."}));
    auto skipped = [&](const std::string& link, const std::string& why) {
        return said("Skipping `" + path(link) + "`: " + why);
    };
    EXPECT_TRUE(skipped("a/back", "it leads back to a folder above it."));
    EXPECT_TRUE(skipped("a/up", "it leads outside the folder being indexed."));
    EXPECT_TRUE(skipped("also-a", "the folder it leads to is indexed under another path."));
    EXPECT_TRUE(skipped("out", "it leads outside the folder being indexed."));
    EXPECT_TRUE(skipped("store2", "the folder it leads to is indexed under another path."));
    EXPECT_FALSE(fs::exists(outside + "/index.html"));
    EXPECT_FALSE(fs::exists(outside + "/deep/index.html"));
    EXPECT_FALSE(host.sawError());
    EXPECT_EQ(host.statusLines.back(), "Done");
    // Rows of folders that get no page lead to the folder itself.
    std::string top = page();
    EXPECT_TRUE(contains(top, "<a href=\"out/\">"));
    EXPECT_TRUE(contains(top, "<a href=\"also-a/\">"));
    EXPECT_TRUE(contains(top, "<a href=\"store/index.html\">"));
    EXPECT_FALSE(contains(top, "dangling"));
    EXPECT_TRUE(contains(page("a"), "<a href=\"back/index.html\">"));  // an ancestor's page
}

TEST_F(DriverTest, NothingIsWrittenOutsideTheTree) {
    const std::string outside = fs::path(root).parent_path().string() + "/outside";
    fs::create_directories(outside);
    std::ofstream(outside + "/index.html") << "theirs";
    writeFile("a/x.txt");
    fs::create_symlink(outside + "/index.html", path("a/index.html"));
    set("chkReplaceOlda", "1");
    go();
    EXPECT_EQ(readFile(outside + "/index.html"), "theirs");
    EXPECT_TRUE(fs::is_symlink(path("a/index.html")));
    EXPECT_TRUE(said("Error writing index for `" + path("a") +
                     "`: it leads outside the folder being indexed."));
    EXPECT_TRUE(fs::exists(path("index.html")));

    // An all-in-one output folder beside the tree is refused too.
    select("optAllInOneFolder");
    set("txtWWWroot", "");
    set("lblAllInOneFolder", outside);
    go("a");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator{}), 1);
    EXPECT_NE(host.statusLines.back(), "Done");
}

TEST_F(DriverTest, DanglingLinksNeverSkipAFolder) {
    for (int i = 0; i < 20; ++i) {
        std::string folder = "f" + std::to_string(i);
        writeFile(folder + "/a.txt");
        // Created last, so it is likely the last entry the folder listing returns.
        fs::create_symlink(path("nowhere"), path(folder + "/zz-dangling"));
    }
    go();
    EXPECT_FALSE(host.sawError());
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(fs::exists(path("f" + std::to_string(i) + "/index.html")));
}

TEST_F(DriverTest, TrailingSeparatorNamesTheSameFolder) {
    writeFile("www/a/x.txt");
    select("optCssNew");
    set("txtWWWroot", path("www") + "/");
    go("www/");
    std::string top = page("www");
    EXPECT_TRUE(contains(top, "<title>www</title>"));
    EXPECT_FALSE(contains(top, "<b>..</b>"));
    EXPECT_TRUE(contains(top, "<link rel=\"stylesheet\" href=\"index.css\">"));
    EXPECT_TRUE(contains(page("www/a"), "<link rel=\"stylesheet\" href=\"../index.css\">"));
    EXPECT_TRUE(fs::exists(path("www/index.css")));
}

TEST_F(DriverTest, FolderRemovedDuringTheRunIsSkipped) {
    // After the first folder level is done, "b" goes away. One thread reads it only then; more
    // threads may have read it before, and then its page cannot be written.
    for (int jobs : {1, 4}) {
        writeFile("a/x.txt");
        writeFile("b/y.txt");
        writeFile("c/z.txt");
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
        e.setJobs(jobs);
        e.setCurrentFolder(root);
        e.cmdGo_Click();
        EXPECT_TRUE(fs::exists(path("c/index.html")));
        EXPECT_TRUE(std::any_of(
            remover.statusLines.begin(), remover.statusLines.end(),
            [&](auto& l) {
                return l.starts_with("Error reading folder `" + path("b") + "`") ||
                       (jobs > 1 && l.starts_with("Error writing index for `" + path("b") + "`"));
            }))
            << jobs;
        EXPECT_EQ(remover.statusLines.back(), "Done");
    }
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
    writeFile("y.tmp");  // excluded: no page shows its icon
    select("optIconsRemote");  // no icon folder appears between the runs
    go();
    go();  // the same page again: its own page is left out, so is its icon
    EXPECT_EQ(engine.neededIcons().names(),
              (std::vector<std::string>{"dir", "unknown", "txt", "end_"}));
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

TEST_F(DriverTest, WhatAFolderShowsBesideItsListing) {
    // The picture's name is escaped like every other name.
    set("chkCaptureSnap", "1");
    set("chkThumb", "1");
    set("txtCapSnap", "my \"snap\" & <me>.gif");
    writeFile("my \"snap\" & <me>.gif", "GIF89a");
    // A pipe named like the description is passed over, never read (reading would hang).
    ASSERT_EQ(::mkfifo(path("desc.txt").c_str(), 0644), 0);
    writeFile("a/desc.txt", "one, \"two, three\"\n");
    // The upload folder gets a page of its own but no row on its parent's page; the icon
    // folder is Tabulo's and gets neither.
    writeFile("upload/u.txt");
    writeFile("pics/icons/txt.gif");
    ::alarm(20);  // a hang fails the test instead of stalling the suite
    go();
    ::alarm(0);
    std::string top = page();
    EXPECT_TRUE(contains(top,
                         "<a href=\"my%20&quot;snap&quot;%20&amp;%20&lt;me&gt;.gif\">\r\n"
                         "<img alt=\"my &quot;snap&quot; &amp; &lt;me&gt;.gif\" "
                         "src=\"my%20&quot;snap&quot;%20&amp;%20&lt;me&gt;.gif\" \r\n"))
        << top;
    EXPECT_FALSE(contains(top, "<tt>"));
    EXPECT_TRUE(contains(page("a"), "<tt>\r\none\r\ntwo, three\r\n</tt><br><br>\r\n"));
    EXPECT_FALSE(contains(top, "href=\"upload/"));
    EXPECT_FALSE(contains(top, "href=\"pics/"));
    EXPECT_TRUE(fs::exists(path("upload/index.html")));
    EXPECT_FALSE(fs::exists(path("pics/index.html")));
}

TEST_F(DriverTest, AnEmptyOutputFolderMeansTheSelectedOne) {
    writeFile("a/x.txt");
    for (const char* mode : {"optAllInOneFile", "optAllInOneFolder"}) {
        for (const char* recursive : {"0", "1"}) {
            select(mode);
            set("txtWWWroot", "");
            set("lblAllInOneFolder", "");
            set("chkReqrsive", recursive);
            set("chkReplaceOlda", "1");
            fs::remove(path("index.html"));
            go("a");
            EXPECT_TRUE(fs::exists(path("a/index.html"))) << mode << recursive;
            EXPECT_EQ(engine.options().text(opt("lblAllInOneFolder")), path("a"));
            EXPECT_EQ(host.statusLines.back(), "Done");
            fs::remove(path("a/index.html"));
        }
    }
}

TEST_F(DriverTest, StylesheetIsAskedForAndWrittenWhole) {
    select("optCssNew");
    writeFile("index.css", "mine");
    host.answers = {Answer::No};
    go();
    EXPECT_EQ(host.questions.back(), "Tabulo: Overwrite : '" + path("index.css") + "' ?");
    EXPECT_EQ(readFile(path("index.css")), "mine");
    host.answers = {Answer::Yes, Answer::Yes};
    go();
    std::string once = readFile(path("index.css"));
    EXPECT_EQ(std::count(once.begin(), once.end(), '\n'), 5);
    set("chkReplaceOlda", "1");
    go();
    EXPECT_EQ(readFile(path("index.css")), once);  // replaced, not appended to
}

}  // namespace
}  // namespace tabulo::test
