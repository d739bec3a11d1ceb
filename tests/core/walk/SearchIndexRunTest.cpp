// The search index a modern run writes beside its pages: every name the pages list, found from
// the index alone; a run over an unchanged tree touches none of its files, a change only a few.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "commands/Watch.h"
#include "common/Text.h"
#include "engine/Engine.h"
#include "run/TreeTotals.h"
#include "search/SearchIndex.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class SearchIndexRunTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        select("optPageModern");
        set("chkReqrsive", "1");
        set("chkReplaceOlda", "1");
        set("chkSearchIndex", "1");
        set("chkExcludeExts", "1");
        set("txtExclude", "index.html; *.tmp;");
    }
    std::string index() const { return path(std::string(kSearchFolder)); }
    std::set<std::string> found(const std::string& query) const {
        std::set<std::string> out;
        auto read = [this](const std::string& name) -> std::optional<std::string> {
            std::error_code ec;
            if (!fs::is_regular_file(index() + "/" + name, ec)) return std::nullopt;
            return readFile(index() + "/" + name);
        };
        for (const SearchHit& hit : SearchIndex(read, query))
            out.insert((hit.record.folder.empty() ? "" : hit.record.folder + "/") + hit.record.name);
        return out;
    }
    // Each file of the index with its bytes and time.
    std::map<std::string, std::pair<std::string, std::int64_t>> files() const {
        std::map<std::string, std::pair<std::string, std::int64_t>> out;
        for (const auto& e : fs::directory_iterator(index())) {
            struct stat st {};
            ::stat(e.path().c_str(), &st);
            out[e.path().filename().string()] = {readFile(e.path().string()),
                                                 st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec};
        }
        return out;
    }
};

TEST_F(SearchIndexRunTest, EveryListedNameOfTheTreeIsFoundAndNothingElse) {
    writeFile("report 2024.pdf", "x");
    writeFile("Caf\xC3\xA9/R\xC3\xA9sum\xC3\xA9.txt", "y");
    writeFile("Caf\xC3\xA9/deep/my report.txt", "z");
    writeFile("Caf\xC3\xA9/deep/scratch.tmp", "left out");
    writeFile("<img src=x onerror=alert(1)>.txt");
    go();
    EXPECT_EQ(found("report"),
              (std::set<std::string>{"report 2024.pdf", "Caf\xC3\xA9/deep/my report.txt"}));
    EXPECT_EQ(found("RESUME"), (std::set<std::string>{"Caf\xC3\xA9/R\xC3\xA9sum\xC3\xA9.txt"}));
    EXPECT_EQ(found("deep"), (std::set<std::string>{"Caf\xC3\xA9/deep"}));
    EXPECT_TRUE(found("scratch").empty());
    EXPECT_TRUE(found("index.html").empty());  // the run's own files are no names of the site
    EXPECT_EQ(found("onerror").size(), 1u);
    for (const auto& [name, file] : files()) EXPECT_EQ(file.first.find("<img"), std::string::npos) << name;
    // No page is written into the index's folder, and no page lists it.
    EXPECT_FALSE(fs::exists(index() + "/index.html"));
    const std::string page = readFile(path("index.html"));
    EXPECT_FALSE(contains(page, "data-name=\"" + std::string(kSearchFolder)));
    // The pages know where it is: the top's beside it, those below a step up for each level.
    EXPECT_TRUE(contains(page, "data-index=\".tabulo-search/\""));
    EXPECT_TRUE(contains(readFile(path("Caf\xC3\xA9/deep/index.html")), "data-index=\"../../.tabulo-search/\""));
}

TEST_F(SearchIndexRunTest, AnUnchangedTreeLeavesTheIndexAloneAndAChangeTouchesItsOwnFiles) {
    for (int i = 0; i < 3000; ++i)
        writeFile("folder " + std::to_string(i % 40) + "/file " + std::to_string(i) + ".txt");
    go();
    auto before = files();
    ASSERT_GE(before.size(), 3u);  // manifest, a block, a shard
    go();
    for (const auto& [name, file] : files()) {  // bytes and times
        EXPECT_EQ(file.first, before[name].first) << name;
        EXPECT_EQ(file.second, before[name].second) << name;
    }
    // A file of it gone: the next run puts it back, though no name changed.
    const std::string block = std::find_if(before.begin(), before.end(), [](const auto& f) {
                                  return f.first.starts_with("b-");
                              })->first;
    fs::remove(index() + "/" + block);
    go();
    EXPECT_EQ(readFile(index() + "/" + block), before[block].first);
    writeFile("folder 7/a quite new name.txt");
    go();
    auto after = files();
    int changed = 0;
    for (const auto& [name, file] : after) {
        auto it = before.find(name);
        if (it == before.end() || it->second.first != file.first) ++changed;
    }
    EXPECT_LE(changed, 1 + 1 + 20) << changed << " of " << after.size();  // manifest, block, shards
    EXPECT_EQ(found("quite new"), (std::set<std::string>{"folder 7/a quite new name.txt"}));
}

TEST_F(SearchIndexRunTest, AWatchBatchKeepsTheNamesOfTheFoldersItDoesNotRead) {
    writeFile("top.txt");
    writeFile("a/b/c/deep report.txt");
    writeFile("a/b/mid report.txt");
    writeFile("a/sib/sibling report.txt");
    watchRun();
    EXPECT_EQ(found("report").size(), 3u);

    // Only a/b is read again: the names below and beside it stay found.
    writeFile("a/b/new report.txt");
    watchBatch({"a/b"});
    EXPECT_EQ(found("report"), (std::set<std::string>{"a/b/c/deep report.txt", "a/b/mid report.txt",
                                                      "a/b/new report.txt", "a/sib/sibling report.txt"}));
    // A folder that went takes its tree's names along.
    fs::remove_all(path("a/b/c"));
    watchBatch({"a/b"});
    EXPECT_EQ(found("deep").size(), 0u);
    EXPECT_EQ(found("report").size(), 3u);
    // So does one that went from the top folder.
    fs::remove_all(path("a"));
    writeFile("second top.txt");
    watchBatch({""});
    EXPECT_EQ(found("report").size(), 0u);
    EXPECT_EQ(found("top"), (std::set<std::string>{"top.txt", "second top.txt"}));
    // A batch that changes no name leaves every file of the index as it was.
    auto before = files();
    watchBatch({""});
    EXPECT_EQ(files(), before);
}

TEST_F(SearchIndexRunTest, OtherSitesAreReachedFromEveryDepthAndOnlyByWebOrFileAddresses) {
    writeFile("a/b/x.txt");
    set("txtSearchSites", "../mirror/.tabulo-search/ ; https://example.org/pub\njavascript:alert(1)//"
                          " /abs/ FILE:///srv/x data:text/html,hi mirror two/");
    go();
    auto sites = [](const std::string& page) {
        auto at = page.find("data-sites=\"");
        return at == std::string::npos ? std::string() : page.substr(at + 12, page.find('"', at + 12) - at - 12);
    };
    EXPECT_EQ(sites(readFile(path("index.html"))),
              "../mirror/ https://example.org/pub/ /abs/ FILE:///srv/x/ mirror/ two/");
    EXPECT_EQ(sites(readFile(path("a/b/index.html"))),
              "../../../mirror/ https://example.org/pub/ /abs/ FILE:///srv/x/ ../../mirror/ ../../two/");
    // The results of this site are labelled with its folder's name on the pages of others.
    const std::string manifest = readFile(index() + "/" + std::string(kSearchManifest));
    const std::string name = fs::path(root).filename().string();
    EXPECT_TRUE(contains(manifest, "\"site\":\"" + name + "\",\"dir\":\"/index.html\"")) << manifest.substr(0, 200);
    set("txtSearchSites", "");
    go();
    EXPECT_EQ(sites(readFile(path("index.html"))), "");
}

TEST_F(SearchIndexRunTest, OnlyOwnFilesGoAndAFileInItsPlaceIsAnError) {
    writeFile("a.txt");
    makeFolder(std::string(kSearchFolder));
    writeFile(std::string(kSearchFolder) + "/b-00000000.js",
              std::string(kSearchMark) + "tabuloSearch(\"b-00000000\",{});\n");
    writeFile(std::string(kSearchFolder) + "/notes.txt", "the owner's");
    go();
    EXPECT_FALSE(fs::exists(index() + "/b-00000000.js"));  // ours, no longer part of it
    EXPECT_EQ(readFile(index() + "/notes.txt"), "the owner's");
    EXPECT_EQ(found("a.txt"), (std::set<std::string>{"a.txt"}));

    fs::remove_all(index());
    writeFile(std::string(kSearchFolder), "a file of the owner");
    host.statusLines.clear();
    go();
    EXPECT_EQ(readFile(index()), "a file of the owner");
    bool said = false;
    for (const std::string& line : host.statusLines) said = said || contains(line, "search index");
    EXPECT_TRUE(said);
    EXPECT_TRUE(fs::is_regular_file(path("index.html")));
}

TEST_F(SearchIndexRunTest, OffOrClassicWritesNone) {
    writeFile("a.txt");
    set("chkSearchIndex", "0");
    go();
    EXPECT_FALSE(fs::exists(index()));
    set("chkSearchIndex", "1");
    select("optPageClassic");
    go();
    EXPECT_FALSE(fs::exists(index()));
}

}  // namespace
}  // namespace tabulo::test
