// The folders a watch reports, on the real file system. Every step is a system call done
// before wait() starts, so its events are queued already: the short quiet spell only ends the
// collection, it never races the changes.

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/Descriptor.h"
#include "common/TextFile.h"
#include "watch/FolderWatch.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Set = std::set<std::string>;

namespace tabulo::test {
namespace {

class FolderWatchTest : public FolderTest {
  protected:
    // What the next changes say, a few seconds at most.
    static FolderWatch::Changes next(FolderWatch& watch) { return watch.wait(5s, 100ms); }
    // Nothing reported for a while.
    static bool silent(FolderWatch& watch) { return watch.wait(300ms, 100ms).empty(); }
    // A folder beside the tree, outside it.
    std::string outside(const std::string& relative = "") const {
        std::string base = fs::path(root).parent_path().string() + "/outside";
        return relative.empty() ? base : base + "/" + relative;
    }
    void rename(const std::string& from, const std::string& to) {
        ASSERT_EQ(::rename(from.c_str(), to.c_str()), 0) << from << " -> " << to;
    }
};

TEST_F(FolderWatchTest, FileChangesReportTheirFolderOnly) {
    makeFolder("a");
    makeFolder("b");
    FolderWatch watch(root);
    EXPECT_EQ(watch.watchedFolders(), 3u);
    EXPECT_TRUE(silent(watch));

    auto listingOnly = [&](const Set& folders) {
        auto changes = next(watch);
        EXPECT_EQ(changes.listings, folders);
        EXPECT_TRUE(changes.structure.empty());
        EXPECT_FALSE(changes.overflow);
    };
    writeFile("a/f.txt", "one");
    listingOnly({path("a")});
    std::ofstream(path("a/f.txt"), std::ios::app) << "two";
    listingOnly({path("a")});
    ::chmod(path("a/f.txt").c_str(), 0600);
    listingOnly({path("a")});
    rename(path("a/f.txt"), path("a/g.txt"));
    listingOnly({path("a")});
    rename(path("a/g.txt"), path("b/g.txt"));
    listingOnly({path("a"), path("b")});
    fs::remove(path("b/g.txt"));
    listingOnly({path("b")});
    writeFile("top.txt");
    listingOnly({root});
}

TEST_F(FolderWatchTest, NewFoldersAreWatchedWithWhatWasMadeInsideMeanwhile) {
    FolderWatch watch(root);
    fs::create_directories(path("a/b/c"));  // faster than the watch can follow
    writeFile("a/b/file.txt");
    auto made = next(watch);
    EXPECT_EQ(made.structure, (Set{root, path("a"), path("a/b")}));
    EXPECT_EQ(made.listings, (Set{root, path("a"), path("a/b"), path("a/b/c")}));
    EXPECT_EQ(watch.watchedFolders(), 4u);

    writeFile("a/b/c/late.txt");
    EXPECT_EQ(next(watch).listings, Set{path("a/b/c")});

    fs::remove_all(path("a/b"));
    auto removed = next(watch);
    EXPECT_EQ(removed.structure, Set{path("a")});
    EXPECT_EQ(watch.watchedFolders(), 2u);
}

TEST_F(FolderWatchTest, RenamedFoldersReportUnderTheirNewPaths) {
    makeFolder("a/b/c");
    makeFolder("y");
    makeFolder("empty");
    FolderWatch watch(root);
    ASSERT_EQ(watch.watchedFolders(), 6u);

    rename(path("a"), path("z"));
    auto renamed = next(watch);
    EXPECT_EQ(renamed.structure, Set{root});
    EXPECT_EQ(renamed.listings, (Set{root, path("z"), path("z/b"), path("z/b/c")}));
    writeFile("z/b/c/f.txt");
    EXPECT_EQ(next(watch).listings, Set{path("z/b/c")});

    // To another parent, and over an empty folder that the rename replaces.
    rename(path("z/b"), path("y/b"));
    EXPECT_EQ(next(watch).structure, (Set{path("z"), path("y")}));
    rename(path("y/b"), path("empty"));
    next(watch);
    EXPECT_EQ(watch.watchedFolders(), 5u);
    writeFile("empty/c/g.txt");
    EXPECT_EQ(next(watch).listings, Set{path("empty/c")});

    // Hidden, it is no longer watched; shown again, it is watched anew.
    rename(path("empty"), path(".hid"));
    EXPECT_EQ(next(watch).listings, Set{root});
    EXPECT_EQ(watch.watchedFolders(), 3u);
    writeFile(".hid/c/h.txt");
    EXPECT_TRUE(silent(watch));
    rename(path(".hid"), path("shown"));
    EXPECT_EQ(next(watch).listings, (Set{root, path("shown"), path("shown/c")}));
    EXPECT_EQ(watch.watchedFolders(), 5u);

    // Into a folder made just before: its scan finds the folder ahead of the rename's events.
    makeFolder("new");
    rename(path("shown"), path("new/shown"));
    EXPECT_EQ(next(watch).listings,
              (Set{root, path("new"), path("new/shown"), path("new/shown/c")}));
    EXPECT_EQ(watch.watchedFolders(), 6u);
    writeFile("new/shown/c/i.txt");
    EXPECT_EQ(next(watch).listings, Set{path("new/shown/c")});
}

TEST_F(FolderWatchTest, FoldersMovedOutAreForgottenAndFoldersMovedInWatched) {
    makeFolder("a/b");
    makeFolder("a-b");  // sorts between "a" and "a/b"
    fs::create_directories(outside("m/n/o"));
    FolderWatch watch(root);
    ASSERT_EQ(watch.watchedFolders(), 4u);

    rename(path("a"), outside("a"));
    auto out = next(watch);
    EXPECT_EQ(out.structure, Set{root});
    EXPECT_EQ(out.listings, Set{root});
    EXPECT_EQ(watch.watchedFolders(), 2u);
    std::ofstream(outside("a/b/f.txt")) << "x";
    fs::create_directory(outside("a/new"));
    EXPECT_TRUE(silent(watch));
    writeFile("a-b/f.txt");
    EXPECT_EQ(next(watch).listings, Set{path("a-b")});

    rename(outside("m"), path("m"));
    auto in = next(watch);
    EXPECT_EQ(in.listings, (Set{root, path("m"), path("m/n"), path("m/n/o")}));
    EXPECT_EQ(watch.watchedFolders(), 5u);
    writeFile("m/n/o/f.txt");
    EXPECT_EQ(next(watch).listings, Set{path("m/n/o")});
}

TEST_F(FolderWatchTest, LinksAndHiddenFoldersAreNotWatched) {
    fs::create_directories(outside("target"));
    makeFolder(".hidden/sub");
    fs::create_directory_symlink(outside("target"), path("docs"));
    fs::create_directory_symlink(root, path("loop"));
    // Given through a link, the tree is watched under its own path.
    fs::create_directory_symlink(root, outside("via"));
    FolderWatch watch(outside("via"));
    EXPECT_EQ(watch.tree(), root);
    EXPECT_EQ(watch.watchedFolders(), 1u);

    std::ofstream(outside("target/f.txt")) << "x";
    writeFile(".hidden/sub/f.txt");
    EXPECT_TRUE(silent(watch));

    // Made while watched: the folder's listing changes, but nothing is watched.
    fs::create_directory_symlink(outside("target"), path("more"));
    makeFolder(".later");
    EXPECT_EQ(next(watch).listings, Set{root});
    EXPECT_EQ(watch.watchedFolders(), 1u);
    std::ofstream(outside("target/g.txt")) << "x";
    writeFile(".later/g.txt");
    EXPECT_TRUE(silent(watch));
}

TEST_F(FolderWatchTest, OwnOutputsAndTemporariesAreIgnored) {
    makeFolder("a");
    FolderWatch watch(root);
    watch.ignoreWritesOf([](std::string_view name) { return name == "index.html"; });
    writeFile("a/index.html", "page");
    writeFile("a/.tabulo-1234-abcdefghij12.tmp", "page");
    rename(path("a/.tabulo-1234-abcdefghij12.tmp"), path("a/index.html"));
    EXPECT_TRUE(silent(watch));
    writeFile("a/index.htm", "someone else's");
    EXPECT_EQ(next(watch).listings, Set{path("a")});
    // A page written through the program's own writer gives the folder its time back: that
    // is no change of the parent's page either. Touching the folder is one.
    setTime("a", 1500000000);
    {
        Descriptor a(::open(path("a").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        TextFile page(a.get(), "index.html", path("a/index.html"), Unmappable::KeepUtf8);
        page.write("new page");
        page.commit();
    }
    EXPECT_TRUE(silent(watch));
    setTime("a", 1600000000);
    EXPECT_EQ(next(watch).listings, Set{root});
}

TEST_F(FolderWatchTest, EventsCloserThanTheQuietSpellComeTogether) {
    for (const char* name : {"a", "b", "c"}) makeFolder(name);
    FolderWatch watch(root);
    std::thread writer([&] {
        for (const char* name : {"a", "b", "c"}) {
            writeFile(std::string(name) + "/f.txt");
            std::this_thread::sleep_for(100ms);
        }
    });
    auto changes = watch.wait(10s, 3s);
    writer.join();
    EXPECT_EQ(changes.listings, (Set{path("a"), path("b"), path("c")}));

    // A steady stream ends a wait after the longest collection all the same.
    std::atomic<bool> stop = false, stopped = false;
    std::thread stream([&] {
        for (int i = 0; i < 400 && !stop; ++i) {
            writeFile("a/f.txt");
            std::this_thread::sleep_for(50ms);
        }
        stopped = true;
    });
    auto some = watch.wait(10s, 1s, 300ms);
    EXPECT_FALSE(stopped);
    stop = true;
    stream.join();
    EXPECT_EQ(some.listings, Set{path("a")});

    // The quiet spell counts from the latest event: a stream slower than the first event's
    // quiet spell, but never quiet for one, comes as one batch.
    for (const char* name : {"d", "e", "f", "g", "h"}) makeFolder(name);
    FolderWatch slower(root);
    std::thread spaced([&] {
        for (const char* name : {"d", "e", "f", "g", "h"}) {
            writeFile(std::string(name) + "/f.txt");
            std::this_thread::sleep_for(250ms);
        }
    });
    auto batch = slower.wait(10s, 600ms);
    spaced.join();
    EXPECT_EQ(batch.listings, (Set{path("d"), path("e"), path("f"), path("g"), path("h")}));
}

FolderWatch* signalled = nullptr;

TEST_F(FolderWatchTest, InterruptEndsTheWaitAtOnce) {
    FolderWatch watch(root);
    auto waited = [&] {
        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(watch.wait(60s).empty());
        return std::chrono::steady_clock::now() - start;
    };
    std::thread other([&] {
        std::this_thread::sleep_for(200ms);
        watch.interrupt();
    });
    EXPECT_LT(waited(), 30s);
    other.join();

    // Asked before the wait, it still ends it; once only.
    watch.interrupt();
    watch.interrupt();
    EXPECT_LT(waited(), 30s);
    writeFile("f.txt");
    EXPECT_EQ(next(watch).listings, Set{root});

    // From a signal handler, with the signal breaking into the waiting thread's poll.
    signalled = &watch;
    struct sigaction action = {};
    struct sigaction old = {};
    action.sa_handler = [](int) { signalled->interrupt(); };
    ::sigaction(SIGUSR1, &action, &old);
    pthread_t waiter = ::pthread_self();
    std::thread sender([&] {
        std::this_thread::sleep_for(200ms);
        ::pthread_kill(waiter, SIGUSR1);
    });
    EXPECT_LT(waited(), 30s);
    sender.join();
    ::sigaction(SIGUSR1, &old, nullptr);

    writeFile("g.txt");
    EXPECT_EQ(next(watch).listings, Set{root});
}

TEST_F(FolderWatchTest, LimitOfWatchesLeavesFoldersOutWithoutFailing) {
    makeFolder("a");
    makeFolder("b");
    FolderWatch watch(root, 2);
    EXPECT_EQ(watch.watchedFolders(), 2u);
    EXPECT_TRUE(watch.incomplete());

    fs::remove(path("a"));
    fs::remove(path("b"));
    EXPECT_EQ(next(watch).structure, Set{root});
    makeFolder("c");
    auto changes = next(watch);
    EXPECT_FALSE(changes.incomplete);
    EXPECT_EQ(watch.watchedFolders(), 2u);
    // Left out, a new folder is still reported once, for its page.
    makeFolder("e/f");
    changes = next(watch);
    EXPECT_TRUE(changes.incomplete);
    EXPECT_EQ(changes.listings, (Set{root, path("e")}));

    EXPECT_THROW(FolderWatch(root, 0), std::system_error);
    EXPECT_THROW(FolderWatch(path("missing")), std::system_error);
    EXPECT_THROW(FolderWatch(writeFile("file")), std::system_error);
}

TEST_F(FolderWatchTest, LostEventsAskForEverythingAndWatchAfresh) {
    int most = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> most;
    if (most <= 0 || most > 100000) GTEST_SKIP() << "queue of " << most << " events";
    makeFolder("a/b");
    std::string files[2] = {writeFile("a/x"), writeFile("a/y")};
    FolderWatch watch(root);
    // Touched in turn, as the same event twice in a row is queued once.
    for (int i = 0; i < most + 100; ++i) ::utimensat(AT_FDCWD, files[i % 2].c_str(), nullptr, 0);
    rename(path("a/b"), path("a/c"));  // lost: the watches are set up from the tree again
    EXPECT_TRUE(next(watch).overflow);
    EXPECT_EQ(watch.watchedFolders(), 3u);
    writeFile("a/c/f.txt");
    EXPECT_EQ(next(watch).listings, Set{path("a/c")});
}

TEST_F(FolderWatchTest, TheTreeItselfGoing) {
    makeFolder("a");
    FolderWatch watch(root);
    rename(root, outside());
    EXPECT_EQ(next(watch).listings, Set{root});
    EXPECT_EQ(watch.watchedFolders(), 0u);
    std::ofstream(outside("a/f.txt")) << "x";
    EXPECT_TRUE(silent(watch));
    rename(outside(), root);  // back, for the fixture to clean up
}

}  // namespace
}  // namespace tabulo::test
