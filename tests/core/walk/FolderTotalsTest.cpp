// Folder rows of modern pages show what the tree below them holds: the files their pages list,
// in every folder the walk enters.
#include <filesystem>
#include <fstream>

#include "commands/Watch.h"
#include "common/Text.h"
#include "run/TreeTotals.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class FolderTotalsTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        select("optPageModern");
        set("chkReplaceOlda", "1");
    }
    std::string page(const std::string& folder = "") const {
        return readFile(folder.empty() ? path("index.html") : path(folder + "/index.html"));
    }
    // The row of folder `name` on the page of `folder`, from its start to its end; empty when
    // the page has none.
    std::string row(const std::string& folder, const std::string& name) const {
        std::string text = page(folder);
        auto at = text.find("<tr class=\"dir\" data-name=\"" + name + "\"");
        if (at == std::string::npos) return "";
        return text.substr(at, text.find("</tr>", at) - at);
    }
    // "bytes files" as the row's data says, "none" without totals.
    std::string totals(const std::string& folder, const std::string& name) const {
        std::string r = row(folder, name);
        auto attribute = [&](const std::string& key) -> std::string {
            auto at = r.find(" " + key + "=\"");
            if (at == std::string::npos) return "";
            at += key.size() + 3;
            return r.substr(at, r.find('"', at) - at);
        };
        std::string files = attribute("data-files");
        if (files.empty()) return "none (size " + attribute("data-size") + ")";
        return attribute("data-size") + " " + files;
    }
    // Sizes are the only thing these tests count, so each file's bytes are its size.
    void file(const std::string& relative, std::size_t size) {
        writeFile(relative, std::string(size, 'x'));
    }
};

TEST_F(FolderTotalsTest, EachFolderRowCountsItsWholeTree) {
    file("a/x.txt", 3);
    file("a/b/y.txt", 5);
    file("a/b/c/z.txt", 7);
    file("a/b/c/w.txt", 11);
    makeFolder("a/empty");
    makeFolder("a/b/bare/barer");
    file("top.txt", 100);  // the top's own files are on no row
    go();
    EXPECT_EQ(totals("", "a"), "26 4");
    EXPECT_EQ(totals("a", "b"), "23 3");
    EXPECT_EQ(totals("a/b", "c"), "18 2");
    EXPECT_EQ(totals("a", "empty"), "0 0");
    EXPECT_EQ(totals("a/b", "bare"), "0 0");
    EXPECT_EQ(totals("a/b/bare", "barer"), "0 0");
    // The size cell says both, as file rows give sizes.
    EXPECT_TRUE(contains(row("", "a"), "<td class=\"size\"> 26 Bytes &middot; 4 files</td>")) << row("", "a");
    EXPECT_TRUE(contains(row("a", "empty"), "<td class=\"size\">0 Bytes &middot; 0 files</td>"))
        << row("a", "empty");
    file("a/b/bare/barer/one.txt", 1);
    go();
    EXPECT_TRUE(contains(row("a/b/bare", "barer"), "1 file</td>")) << row("a/b/bare", "barer");
    EXPECT_EQ(totals("", "a"), "27 5");
}

// Only what the pages list counts: no excluded file, nothing in a hidden folder, nothing
// behind a folder the walk does not enter; Tabulo's own checksum files count as listed.
TEST_F(FolderTotalsTest, WhatThePagesDoNotListDoesNotCount) {
    file("a/keep.txt", 4);
    file("a/skip.tmp", 1000);      // excluded by the default patterns
    file("a/index.html", 1000);    // an old page: excluded too
    file("a/.hidden/h.txt", 1000); // hidden folders are not listed
    file("b/b.txt", 2);
    const std::string outside = fs::path(root).parent_path().string() + "/outside";
    fs::create_directories(outside);
    std::ofstream(outside + "/big.dat") << std::string(1000, 'o');
    fs::create_directory_symlink(outside, path("a/out"));       // leads out of the tree
    fs::create_directory_symlink(path("b"), path("a/to-b"));    // b is walked by its own name
    fs::create_directory_symlink(path("a"), path("a/back"));    // leads back up
    fs::create_directory_symlink(path("a/.hidden"), path("c")); // entered: nothing else walks it
    go();
    EXPECT_EQ(totals("", "a"), "4 1");
    EXPECT_EQ(totals("", "b"), "2 1");
    EXPECT_EQ(totals("", "c"), "1000 1");
    for (const char* link : {"out", "to-b", "back"}) {
        EXPECT_FALSE(row("a", link).empty()) << link;
        EXPECT_EQ(totals("a", link), "none (size -1)") << link;
    }

    // The checksum files count as the pages list them: already on the first run.
    set("chkColuHash", "1");
    go();
    const std::string first = totals("", "b");
    EXPECT_TRUE(first.ends_with(" 3")) << first;
    go();
    EXPECT_EQ(totals("", "b"), first);
    EXPECT_EQ(std::stoul(first), 2 + fs::file_size(path("b/MD5SUMS")) + fs::file_size(path("b/SHA256SUMS")));
}

TEST_F(FolderTotalsTest, OnePageWithoutItsTreeStillShowsTheTotals) {
    file("a/b/y.txt", 5);
    file("a/x.txt", 3);
    set("chkReqrsive", "0");
    go();
    EXPECT_EQ(totals("", "a"), "8 2");
    EXPECT_FALSE(fs::exists(path("a/index.html")));
}

TEST_F(FolderTotalsTest, TheJsonListingCarriesThemAfterNginxKeys) {
    set("chkJsonListing", "1");
    file("a/b/y.txt", 5);
    file("x.txt", 3);
    go();
    const std::string json = readFile(path("index.json"));
    EXPECT_TRUE(contains(json, "{ \"name\":\"a\", \"type\":\"directory\", \"mtime\":\""));
    EXPECT_TRUE(contains(json, " GMT\", \"files\":1, \"bytes\":5 },\n")) << json;
    EXPECT_TRUE(contains(json, "\"name\":\"x.txt\", \"type\":\"file\", \"mtime\":\""));
    EXPECT_FALSE(contains(json.substr(json.find("x.txt")), "\"files\""));
    // Classic runs measure nothing: their listings stay in nginx's layout alone.
    select("optPageClassic");
    go();
    EXPECT_FALSE(contains(readFile(path("index.json")), "\"files\"")) << readFile(path("index.json"));
    EXPECT_FALSE(contains(page(), "data-files"));
}

// A watch writes the changed folders and those above them alone: their rows take the totals
// of the folders that did not change from the runs before, without reading them again.
TEST_F(FolderTotalsTest, AWatchBatchBringsEveryPageAboveUpToDate) {
    file("a/b/c/z.txt", 7);
    file("a/b/y.txt", 5);
    file("a/sib/s.txt", 2);
    file("d/d.txt", 1);
    file("pics/cat.jpg", 1000);  // where the runs keep their icons: not walked, not counted
    watchRun();
    EXPECT_EQ(totals("", "a"), "14 3");
    EXPECT_EQ(keptTotals.find(path("a/b/c")), (FolderTotals{7, 1}));
    EXPECT_EQ(keptTotals.find(root), (FolderTotals{15, 4}));
    EXPECT_FALSE(keptTotals.find(path("pics")));

    file("a/b/c/more.txt", 10);
    watchBatch({"a/b/c"});
    EXPECT_EQ(totals("a/b", "c"), "17 2");
    EXPECT_EQ(totals("a", "b"), "22 3");
    EXPECT_EQ(totals("", "a"), "24 4");
    EXPECT_EQ(totals("a", "sib"), "2 1");
    EXPECT_EQ(totals("", "d"), "1 1");

    // A folder the batch does not name keeps the totals it had: it is not read again.
    file("a/sib/unseen.txt", 50);
    file("a/b/y2.txt", 1);
    watchBatch({"a/b"});
    EXPECT_EQ(totals("a", "sib"), "2 1");
    EXPECT_EQ(totals("", "a"), "25 5");

    // A new tree comes with every folder in it; a folder that went leaves no total behind.
    file("a/new/deeper/n.txt", 4);
    fs::remove_all(path("a/b/c"));
    watchBatch({"a/new/deeper", "a/new", "a/b"});
    EXPECT_EQ(totals("a", "new"), "4 1");
    EXPECT_EQ(totals("a", "b"), "6 2");
    EXPECT_EQ(totals("", "a"), "12 4");
    EXPECT_FALSE(keptTotals.find(path("a/b/c")));

    // A whole run measures everything again.
    watchRun();
    EXPECT_EQ(totals("", "a"), "62 5");
}

TEST(TreeTotalsTest, FolderRangesStopAtTheirOwnNames) {
    TreeTotals t;
    for (const char* folder : {"/w", "/w/a", "/w/a/b", "/w/a/b/c", "/w/ab", "/w/a.x", "/w/b", "/w/b/c"})
        t.set(folder, {1, 1});
    t.keepOnly("/w/a", {"c"});  // b went: its tree goes with it, and nothing beside "a"
    EXPECT_FALSE(t.find("/w/a/b"));
    EXPECT_FALSE(t.find("/w/a/b/c"));
    for (const char* folder : {"/w", "/w/a", "/w/ab", "/w/a.x", "/w/b", "/w/b/c"})
        EXPECT_TRUE(t.find(folder)) << folder;
    t.forgetBelow("/w/b");
    EXPECT_FALSE(t.find("/w/b/c"));
    EXPECT_TRUE(t.find("/w/b"));
    t.set("/", {2, 2});
    t.set("/x", {2, 2});
    t.keepOnly("/", {"w"});
    EXPECT_FALSE(t.find("/x"));
    EXPECT_TRUE(t.find("/w/ab"));
    t.forgetBelow("/");
    EXPECT_EQ(t.size(), 1u);
    EXPECT_EQ(t.find("/"), (FolderTotals{2, 2}));
}

}  // namespace
}  // namespace tabulo::test
