#include "commands/Watch.h"

#include <fcntl.h>

#include <filesystem>
#include <fstream>

#include "engine/Engine.h"
#include "common/Descriptor.h"
#include "common/Faults.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

using Set = std::set<std::string>;

FolderWatch::Changes changed(Set listings, Set structure = {}) {
    FolderWatch::Changes c;
    c.listings = std::move(listings);
    c.structure = std::move(structure);
    return c;
}

TEST(WatchBatchTest, DeeperFoldersFirstEachOnceWithEverythingAbove) {
    auto batch = PlanBatch(changed({"/w/a/b/c", "/w/a/b", "/w/d", "/w/a/b/c/e"}, {"/w/a/b"}), "/w",
                           false);
    EXPECT_FALSE(batch.whole);
    EXPECT_EQ(batch.folders,
              (std::vector<std::string>{"/w/a/b/c/e", "/w/a/b/c", "/w/a/b", "/w/a", "/w/d", "/w"}));
    // Nothing outside the watched folder, and nothing at all for no change.
    EXPECT_EQ(PlanBatch(changed({"/w2/x", "/w"}), "/w", false).folders,
              std::vector<std::string>{"/w"});
    // The folder where runs keep their icons is theirs: its changes ask for no page.
    EXPECT_EQ(PlanBatch(changed({"/w/pics/icons", "/w/pics", "/w/picsx"}), "/w", false, "/w/pics").folders,
              (std::vector<std::string>{"/w/picsx", "/w"}));
    auto none = PlanBatch(changed({}), "/w", false);
    EXPECT_FALSE(none.whole);
    EXPECT_TRUE(none.folders.empty());
}

TEST(WatchBatchTest, WholeRunsWhereSingleFoldersCannotTell) {
    auto lost = changed({});
    lost.overflow = true;
    EXPECT_TRUE(PlanBatch(lost, "/w", false).whole);
    auto unwatched = changed({"/w/new"});
    unwatched.incomplete = true;
    EXPECT_TRUE(PlanBatch(unwatched, "/w", false).whole);
    // The all-in-one page shows every folder; a run without recursion has the top page only.
    EXPECT_TRUE(PlanBatch(changed({"/w/a"}), "/w", true).whole);
    EXPECT_FALSE(PlanBatch(changed({}), "/w", true).whole);
}

TEST(WatchBatchTest, OwnOutputsAreNoChangesOfTheSite) {
    Options o;
    for (const char* name : {"index.html", "index.json", "index.css", "MD5SUMS", "SHA256SUMS",
                             "index_of-a.html"}) {
        EXPECT_TRUE(IsOwnOutput(o, name)) << name;
    }
    for (const char* name : {"notes.txt", "index.htm", "SHA256SUMS.txt", "md5sums", "README.md"})
        EXPECT_FALSE(IsOwnOutput(o, name)) << name;
}

class WatchRunTest : public EngineTest {
  protected:
    void TearDown() override {
        ::unsetenv("TABULO_FAULTS");
        resetInjectedFaults();
        EngineTest::TearDown();
    }
};

TEST_F(WatchRunTest, AFolderSwappedForALinkIsNeverEntered) {
    const std::string outside = fs::path(root).parent_path().string() + "/outside";
    fs::create_directories(outside + "/b");
    std::ofstream(outside + "/b/index.html") << "another site's page";
    writeFile("a/b/x.txt");
    Descriptor pinned(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // The watch saw a change in a/b; before its run, a became a link leading out.
    fs::rename(path("a"), path("a-was"));
    fs::create_directory_symlink(outside, path("a"));
    for (const char* faults : {"", "openat2"}) {
        ::setenv("TABULO_FAULTS", faults, 1);
        resetInjectedFaults();
        host.statusLines.clear();
        UnattendedRun run;
        run.folder = root;
        run.recursive = false;
        run.only = {{path("a/b"), false}, {root, false}};
        run.pinned = &pinned;
        engine.RunUnattended(run);
        EXPECT_EQ(readFile(outside + "/b/index.html"), "another site's page") << faults;
        EXPECT_EQ(std::distance(fs::directory_iterator(outside + "/b"), {}), 1) << faults;
        EXPECT_TRUE(std::find(host.statusLines.begin(), host.statusLines.end(),
                              "Error reading folder `" + path("a/b") +
                                  "`: it was replaced while the run went on; skipped.") !=
                    host.statusLines.end())
            << faults;
        EXPECT_TRUE(fs::exists(path("index.html")));
    }
}

}  // namespace
}  // namespace tabulo::test
