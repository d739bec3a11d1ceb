// A run over a tree that did not change must change nothing and ask nothing: Tabulo's own
// files may not make the next run see a change.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "common/FileSystemFlush.h"
#include "engine/Engine.h"
#include "common/Text.h"
#include "themes/Themes.h"
#include "support/Fixture.h"
#include "commands/ThemeCommands.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

struct Mode {
    const char* name;
    std::vector<std::pair<const char*, const char*>> options;  // stored form
    std::vector<const char*> selected;
};

void PrintTo(const Mode& mode, std::ostream* out) { *out << mode.name; }

class StableRunTest : public EngineTest, public ::testing::WithParamInterface<Mode> {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        // A tree whose folders are written into at every depth, with times in the past so
        // that any write shows.
        for (const char* file : {"a.txt", "music/x.mp3", "music/live/set.txt", "my docs/old/2019/log.txt",
                                 "trip/pics/beach.jpg", "trip/upload/incoming.txt", "y.tmp"})
            writeFile(std::string("site/") + file, file);
        makeFolder("site/empty");
        for (const auto& e : fs::recursive_directory_iterator(path("site")))
            setTime(fs::relative(e.path(), root).string(), 1500000000);
        setTime("site", 1500000000);
        for (const auto& [name, value] : GetParam().options) set(name, value);
        for (const char* name : GetParam().selected) select(name);
    }
    // Every name below the site: its time to the nanosecond, and its bytes.
    std::map<std::string, std::string> state() const {
        std::map<std::string, std::string> out;
        auto add = [&](const fs::path& p) {
            struct stat st;
            if (::lstat(p.c_str(), &st) != 0) return;
            std::string what = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
            if (S_ISREG(st.st_mode)) what += " " + readFile(p);
            out[p.string()] = what;
        };
        add(path("site"));
        for (const auto& e : fs::recursive_directory_iterator(path("site"))) add(e.path());
        return out;
    }
};

TEST_P(StableRunTest, ASecondAndThirdRunChangeNothingAndAskNothing) {
    const std::uint64_t flushesAtStart = fileSystemFlushes();
    go("site");
    ASSERT_EQ(host.statusLines.back(), "Done");
    EXPECT_GT(fileSystemFlushes(), flushesAtStart);  // what the first run wrote is on disk
    const auto first = state();
    EXPECT_TRUE(fs::exists(path("site/pics/icons/dir.gif")));  // the icon step ran
    if (std::string_view(GetParam().name) == "modernNumberedPages") {
        EXPECT_TRUE(fs::exists(path("site/index-3.html")));
        EXPECT_TRUE(fs::exists(path("site/index.rows-1.js")));
    }
    for (int run = 2; run <= 3; ++run) {
        host.questions.clear();
        // Nothing written: the disk is not flushed either, other programs' writes included.
        const std::uint64_t flushesBefore = fileSystemFlushes();
        go("site");
        EXPECT_EQ(fileSystemFlushes(), flushesBefore) << "run " << run;
        EXPECT_EQ(host.statusLines.back(), "Done");
        EXPECT_TRUE(host.questions.empty()) << "run " << run << " asked " << host.questions.front();
        const auto now = state();
        for (const auto& [name, what] : now) {
            auto before = first.find(name);
            EXPECT_TRUE(before != first.end() && before->second == what)
                << "run " << run << " changed " << name;
        }
        EXPECT_EQ(now.size(), first.size()) << "run " << run;
        EXPECT_EQ(engine.run().pagesWritten, 0) << "run " << run;
        // Each folder is found as the last run left it: no page is made or read back (after
        // the second run, which sees the icons' folder the first one made after its pages).
        const bool ownFiles = !engine.options().on(opt("chkAllInOneFile")) &&
                              !engine.options().on(opt("chkAllInOneFolder"));
        if (ownFiles && run == 3) {
            EXPECT_EQ(engine.run().pagesPassedOver, engine.run().pagesUnchanged);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryOutput, StableRunTest,
    ::testing::Values(Mode{"classic", {}, {}},
                      Mode{"classicWithChecksumsAndJson", {{"chkColuHash", "1"}, {"chkJsonListing", "1"}}, {}},
                      Mode{"modern", {{"chkColuHash", "1"}, {"chkJsonListing", "1"}}, {"optPageModern"}},
                      Mode{"oneFolder", {{"chkReqrsive", "0"}}, {"optPageModern"}},
                      Mode{"modernSearch", {{"chkSearchIndex", "1"}}, {"optPageModern"}},
                      Mode{"modernAllInOneFile", {{"chkAllInOneFile", "1"}}, {"optPageModern"}},
                      Mode{"modernNumberedPages", {{"txtRowBudget", "2"}, {"chkColuHash", "1"}}, {"optPageModern"}},
                      Mode{"flatPages", {{"chkAllInOneFolder", "1"}, {"chkColuHash", "1"}}, {}},
                      Mode{"allInOneFile", {{"chkAllInOneFile", "1"}}, {}},
                      Mode{"stylesheet", {{"chkCss", "1"}}, {"optCssNew"}}),
    [](const auto& info) { return std::string(info.param.name); });

class OwnFilesTest : public EngineTest {};

// The checksum files are listed by the run that writes them, with the time they get.
TEST_F(OwnFilesTest, ChecksumFilesAreListedAsTheyWillBe) {
    set("chkColuHash", "1");
    set("chkReplaceOlda", "1");
    writeFile("site/a.txt", "one");
    go("site");
    std::string page = readFile(path("site/index.html"));
    struct stat st;
    ASSERT_EQ(::stat(path("site/MD5SUMS").c_str(), &st), 0);
    EXPECT_TRUE(contains(page, "MD5SUMS</a></td><td></td><td> " + std::to_string(st.st_size) + " Bytes"));
    // A change rewrites them: the page shows their new size, and they carry the time shown.
    writeFile("site/b.txt", "two");
    setTime("site/b.txt", 1500000000);
    go("site");
    page = readFile(path("site/index.html"));
    ASSERT_EQ(::stat(path("site/MD5SUMS").c_str(), &st), 0);
    EXPECT_TRUE(contains(page, "MD5SUMS</a></td><td></td><td> " + std::to_string(st.st_size) + " Bytes"));
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);  // set to the second the page shows
    const auto firstPage = page;
    go("site");
    EXPECT_EQ(readFile(path("site/index.html")), firstPage);
}

// Rows of the upload and icon folders: classic pages hide the names everywhere, modern pages
// only where Tabulo keeps its icons and where the upload script stores files.
TEST_F(OwnFilesTest, WhichFolderRowsAreLeftOut) {
    for (const char* file : {"trip/pics/beach.jpg", "trip/upload/a.txt", "pics/cat.jpg",
                             "shop/upload.cgi", "shop/upload/x.txt", "index-of-papers.pdf"})
        writeFile(std::string("site/") + file);
    auto rows = [&](const std::string& page) {
        std::string text = readFile(path("site/" + page));
        std::string found;
        for (const char* name : {">pics", ">upload", ">icons", "index-of-papers.pdf"})
            found += contains(text, name) ? std::string(name) + " " : "";
        return found;
    };
    go("site");
    EXPECT_EQ(rows("index.html"), "");  // index* leaves the pdf out, as the classic rules say
    EXPECT_EQ(rows("trip/index.html"), "");
    EXPECT_EQ(rows("pics/index.html"), "");  // the folder of the icons, inside "pics"
    EXPECT_FALSE(fs::exists(path("site/pics/icons/index.html")));  // no page among the icons

    // The shipped modern theme names Tabulo's files exactly.
    InstallShippedThemes();
    engine.options().setText(opt("cmbSheme"), "modern");
    cmdLoad_Click(engine);
    set("chkReplaceOlda", "1");
    go("site");
    EXPECT_EQ(rows("index.html"), "index-of-papers.pdf ");  // "pics" holds the icons here
    EXPECT_EQ(rows("trip/index.html"), ">pics >upload ");
    EXPECT_EQ(rows("shop/index.html"), "");  // beside the upload script
    EXPECT_EQ(rows("pics/index.html"), "");
    EXPECT_FALSE(fs::exists(path("site/pics/icons/index.html")));
}

// Every row of a classic table has the cells of the file rows, the checksum one included.
TEST_F(OwnFilesTest, FolderRowsKeepTheChecksumColumn) {
    set("chkColuHash", "1");
    set("chkForceCdUp", "1");
    writeFile("site/sub/a.txt");
    writeFile("site/sub/deeper/b.txt");
    go("site");
    auto cells = [](const std::string& line) {
        std::size_t n = 0;
        for (auto at = line.find("</td>"); at != std::string::npos; at = line.find("</td>", at + 1)) ++n;
        return n;
    };
    const std::string page = readFile(path("site/sub/index.html"));
    std::size_t folderCells = 0, fileCells = 0;
    for (const std::string& line : split(page, '\n')) {
        if (contains(line, "[dir]")) folderCells = cells(line);
        if (line.starts_with("  <tr>")) fileCells = cells(line);
    }
    EXPECT_EQ(folderCells, fileCells) << page;
    EXPECT_GT(fileCells, 2u);
    EXPECT_TRUE(contains(page, "..</b></a></td><td></td><td>[dir up]</td></tr>")) << page;
    std::string top = readFile(path("site/index.html"));
    EXPECT_TRUE(contains(top, "> sub</b></a></td><td></td><td>[dir]</td>")) << top;
}


// The all-in-one file is asked about once, when it would change, and kept on "No".
TEST_F(OwnFilesTest, TheAllInOneFileIsAskedAboutOnceWhenItWouldChange) {
    set("chkAllInOneFile", "1");
    writeFile("site/a/x.txt");
    writeFile("site/b/y.txt");
    go("site");
    EXPECT_TRUE(host.questions.empty());  // a new file replaces nothing
    const std::string first = readFile(path("site/index.html"));
    writeFile("site/b/z.txt");
    host.answers = {Answer::No};
    go("site");
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_TRUE(contains(host.questions.front(), path("site/index.html")));
    EXPECT_EQ(readFile(path("site/index.html")), first);
    EXPECT_EQ(engine.run().pagesDeclined, 1);
    host.answers = {Answer::Yes};
    go("site");
    EXPECT_TRUE(contains(readFile(path("site/index.html")), "z.txt"));
    EXPECT_EQ(engine.run().pagesWritten, 1);
}

}  // namespace
}  // namespace tabulo::test
