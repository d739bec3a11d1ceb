// What nothing in a tree may do to a run: lead its writes out, exhaust its memory, or make a
// failure pass unnoticed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/Engine.h"
#include "commands/ThemeCommands.h"
#include "common/Faults.h"
#include "common/Text.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class RunSafetyTest : public EngineTest {
  protected:
    void TearDown() override {
        ::unsetenv("TABULO_FAULTS");
        resetInjectedFaults();
        EngineTest::TearDown();
    }
    std::string outside() const { return fs::path(root).parent_path().string() + "/outside"; }
    bool said(const std::string& line) const {
        return std::find(host.statusLines.begin(), host.statusLines.end(), line) !=
               host.statusLines.end();
    }
    bool saidStart(const std::string& start) const {
        return std::any_of(host.statusLines.begin(), host.statusLines.end(),
                           [&](const std::string& l) { return l.starts_with(start); });
    }
    // Every name below a folder, with its bytes: to show that nothing there changed.
    static std::map<std::string, std::string> contents(const std::string& folder) {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(folder)) {
            out[e.path().string()] = e.is_regular_file() ? readFile(e.path()) : "<folder>";
        }
        return out;
    }
    void fail(const std::string& faults) {
        ::setenv("TABULO_FAULTS", faults.c_str(), 1);
        resetInjectedFaults();
    }
    void goWith(int jobs, const std::string& relative = "") {
        host.statusLines.clear();
        engine.setJobs(jobs);
        go(relative);
    }
};

TEST_F(RunSafetyTest, LinksInAPagesPlaceOrOnTheWayNeverLeadAWriteOut) {
    fs::create_directories(outside() + "/folder");
    std::ofstream(outside() + "/page.html") << "theirs";
    fs::create_directories(fs::path(root).parent_path() / "site2");  // a name the tree's starts
    std::ofstream(fs::path(root).parent_path() / "site2/index.html") << "theirs";
    writeFile("a/x.txt");
    writeFile("b/y.txt");
    writeFile("c/z.txt");
    fs::create_symlink("../../outside/page.html", path("a/index.html"));  // relative, leads out
    fs::create_symlink("../../site2/index.html", path("b/index.html"));
    fs::create_directory_symlink("../outside/folder", path("linked"));
    fs::create_directory_symlink("../site2", path("sibling"));
    auto before = contents(outside());
    set("chkReplaceOlda", "1");
    for (int jobs : {1, 4}) {
        goWith(jobs);
        EXPECT_EQ(contents(outside()), before) << jobs;
        EXPECT_EQ(readFile(fs::path(root).parent_path() / "site2/index.html"), "theirs");
        EXPECT_TRUE(said("Error writing index for `" + path("a") +
                         "`: it leads outside the folder being indexed."));
        EXPECT_TRUE(said("Error writing index for `" + path("b") +
                         "`: it leads outside the folder being indexed."));
        EXPECT_TRUE(said("Skipping `" + path("linked") +
                         "`: it leads outside the folder being indexed."));
        EXPECT_TRUE(said("Skipping `" + path("sibling") +
                         "`: it leads outside the folder being indexed."));
        EXPECT_TRUE(fs::exists(path("c/index.html")));
        EXPECT_EQ(host.statusLines.back(), "Done");
    }
}

TEST_F(RunSafetyTest, AHugeReadmeOrDescriptionIsSkippedAndSaid) {
    // Sparse: a terabyte on the listing, nothing on the disk.
    writeFile("sub/x.txt");
    for (const char* name : {"sub/README.md", "sub/desc.txt"}) {
        std::ofstream(path(name));
        ASSERT_EQ(::truncate(path(name).c_str(), 1LL << 40), 0);
    }
    writeFile("small/README.md", "# Small\n");
    writeFile("small/desc.txt", "a short description");
    ApplyThemeText(engine, "optPageModern.Value=True\r\noptPageClassic.Value=False\r\n");
    set("chkCaptureDesc", "1");
    go();
    EXPECT_EQ(host.statusLines.back(), "Done");
    EXPECT_FALSE(host.sawError());
    EXPECT_TRUE(said("Skipping `" + path("sub/README.md") + "`: it is larger than 1 MiB."));
    EXPECT_TRUE(said("Skipping `" + path("sub/desc.txt") + "`: it is larger than 1 MiB."));
    std::string sub = readFile(path("sub/index.html"));
    EXPECT_TRUE(contains(sub, "x.txt"));
    EXPECT_FALSE(contains(sub, "class=\"readme\""));
    std::string small = readFile(path("small/index.html"));
    EXPECT_TRUE(contains(small, "<h1>Small</h1>"));
    EXPECT_TRUE(contains(small, "a short description"));
}

TEST_F(RunSafetyTest, InjectedWriteFailuresAreReportedAndLoseNothing) {
    set("chkReplaceOlda", "1");
    int round = 0;
    for (const char* fault : {"write:2", "rename:1", "rename:3"}) {
        for (int jobs : {1, 3}) {
            // Every page changes: a new row below, and new times above.
            for (const char* f : {"a", "b", "c"})
                writeFile(std::string(f) + "/new" + std::to_string(++round) + ".txt");
            fail(fault);
            goWith(jobs);
            EXPECT_TRUE(host.sawError()) << fault << " " << jobs;
            // Each page is its old self or its new self, never a part; no temporary is left.
            for (const auto& [name, bytes] : contents(root)) {
                EXPECT_FALSE(fs::path(name).filename().string().starts_with(".tabulo-")) << name;
                if (name.ends_with("index.html")) {
                    EXPECT_TRUE(bytes.ends_with("</BODY></HTML>\r\n")) << name;
                }
            }
        }
    }
}

TEST_F(RunSafetyTest, AFlushThatFailsIsARunError) {
    writeFile("a/x.txt");
    fail("syncfs:1");
    goWith(2);
    EXPECT_TRUE(saidStart("Error putting the pages of `"));
    EXPECT_TRUE(host.sawError());
    EXPECT_EQ(host.statusLines.back(), "Done");  // the pages were written; the disk said no

    // A run that fails still puts on disk what it wrote, and says so when that fails too.
    fs::remove(path("index.html"));
    makeFolder("index.html");  // the top page cannot be written: the run ends there
    writeFile("b/y.txt");
    fail("syncfs:1");
    goWith(1);
    EXPECT_TRUE(saidStart("Error writing index for `" + root + "`"));
    EXPECT_TRUE(fs::exists(path("b/index.html")));
    EXPECT_TRUE(saidStart("Error putting the pages of `"));
    EXPECT_NE(host.statusLines.back(), "Done");
}

TEST_F(RunSafetyTest, AnyFailureOfAFolderIsThatFoldersErrorAtAnyNumberOfThreads) {
    for (int i = 0; i < 12; ++i) writeFile("f" + std::to_string(i) + "/x.txt");
    for (int jobs : {1, 4}) {
        fail("memory:5");  // the fifth listing runs out of memory
        goWith(jobs);
        EXPECT_EQ(std::count_if(host.statusLines.begin(), host.statusLines.end(),
                                [](const std::string& l) { return contains(l, "not enough memory"); }),
                  1)
            << jobs;
        EXPECT_EQ(host.statusLines.back(), "Done");
        int pages = 0;
        for (int i = 0; i < 12; ++i) pages += fs::exists(path("f" + std::to_string(i) + "/index.html"));
        EXPECT_GE(pages, 11);
        for (int i = 0; i < 12; ++i) fs::remove(path("f" + std::to_string(i) + "/index.html"));
    }
}

TEST_F(RunSafetyTest, ThreadsThatCannotStartLeaveTheRunToFewer) {
    for (int i = 0; i < 6; ++i) writeFile("f" + std::to_string(i) + "/x.txt");
    for (const char* fault : {"thread:1", "thread:2", "thread:3"}) {
        fail(fault);
        goWith(3);
        EXPECT_FALSE(host.sawError()) << fault;
        EXPECT_EQ(host.statusLines.back(), "Done") << fault;
        for (int i = 0; i < 6; ++i) EXPECT_TRUE(fs::exists(path("f" + std::to_string(i) + "/index.html")));
    }
}

// Threads of this process, as the kernel counts them.
int threadsNow() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* d = ::readdir(dir)) count += d->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

TEST_F(RunSafetyTest, WideFoldersShareTheRunsThreads) {
    if (threadsNow() == 0) GTEST_SKIP() << "no /proc";
    // Wide enough that reading it is shared out; names linked to one file, as new files are
    // slow to make by the thousand.
    const std::string wide = makeFolder("wide") + "/";
    ::close(::creat((wide + "0").c_str(), 0644));
    for (int i = 1; i < 4200; ++i) ::link((wide + "0").c_str(), (wide + std::to_string(i)).c_str());
    std::atomic<bool> done = false;
    std::atomic<int> most = 0;
    std::thread sampler([&] {
        while (!done) {
            most = std::max(most.load(), threadsNow());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // What runs beside the run: this thread, the sampler, and whatever a sanitizer adds.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int before = threadsNow();
    goWith(4);
    done = true;
    sampler.join();
    // Four workers and the flush.
    EXPECT_LE(most.load(), before + 4 + 1);
    EXPECT_EQ(host.statusLines.back(), "Done");
}

TEST_F(RunSafetyTest, UnattendedRunsOpenNoDialog) {
    writeFile("a.txt");
    writeFile("index.css", "someone's own style");
    select("optCssNew");
    // Icons fetched from a service nobody answers: an error, and a message box when attended.
    ::setenv("TABULO_DATA", path("no-shipped-icons").c_str(), 1);
    set("txtIcohrefDl", "http://127.0.0.1:9/#.gif");
    set("lblWWWroot", root);
    engine.RunUnattended(root, true);
    ::unsetenv("TABULO_DATA");
    EXPECT_TRUE(host.questions.empty()) << host.questions.front();
    EXPECT_TRUE(saidStart("Error Winsock : "));
    EXPECT_NE(readFile(path("index.css")), "someone's own style");  // replaced, as it changed
}

}  // namespace
}  // namespace tabulo::test
