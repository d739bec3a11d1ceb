// What a run keeps for the next one may make it faster, never wrong: whatever became of the
// kept state, the pages are those a run without it would write.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "checksums/FileHashes.h"
#include "engine/Engine.h"
#include "state/PageState.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class PageStateRunTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        set("chkReplaceOlda", "1");
        for (const char* file : {"a.txt", "sub/b.txt", "sub/deep/c.txt", "other/d.txt"})
            writeFile(std::string("site/") + file, file);
        settleTimes();
    }
    // Times in the past, so that what a run shows of them stays put.
    void settleTimes() {
        for (const auto& e : fs::recursive_directory_iterator(path("site"))) {
            if (e.path().filename() != "index.html") setTime(fs::relative(e.path(), root).string(), 1500000000);
        }
        setTime("site", 1500000000);
    }
    std::map<std::string, std::string> pages() const {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(path("site"))) {
            const std::string name = e.path().filename().string();
            if (name.starts_with("index")) out[e.path().string()] = readFile(e.path());
        }
        return out;
    }
    std::string stateFile() const { return PageStateFile(fs::canonical(path("site")).string()); }
    void change(bool added) {
        if (added) {
            writeFile("site/sub/deep/new.txt", "new");
        } else {
            fs::remove(path("site/sub/deep/new.txt"));
        }
        settleTimes();
    }
};

TEST_F(PageStateRunTest, WhateverBecameOfTheStateThePagesAreRight) {
    // The pages with the new file and without it, each made with no state at all.
    change(true);
    go("site");
    const auto withNew = pages();
    fs::remove(stateFile());
    change(false);
    go("site");
    go("site");
    const auto without = pages();
    ASSERT_NE(withNew, without);
    const std::string good = readFile(stateFile());
    ASSERT_GT(good.size(), 40u);

    std::map<std::string, std::string> states{
        {"current, but for the tree before the change", good},
        {"empty", ""},
        {"cut short", good.substr(0, good.size() / 2)},
        {"one more byte", good + "x"},
        {"garbage", std::string(good.size(), '\x5a')},
    };
    for (std::size_t at : {std::size_t{0}, std::size_t{9}, std::size_t{45}, good.size() / 2, good.size() - 1}) {
        std::string flipped = good;
        flipped[at] = static_cast<char>(flipped[at] ^ 1);
        states["a bit flipped at " + std::to_string(at)] = flipped;
    }
    for (const auto& [what, bytes] : states) {
        std::ofstream(stateFile(), std::ios::binary | std::ios::trunc) << bytes;
        change(true);
        go("site");
        EXPECT_EQ(pages(), withNew) << what;
        EXPECT_FALSE(host.sawError()) << what;
        change(false);
        go("site");
        EXPECT_EQ(pages(), without) << what;
    }

    // Another tree's state in this one's place: the same names, other pages.
    fs::copy(path("site"), path("copy"), fs::copy_options::recursive);
    set("chkReplaceOlda", "1");
    go("copy");
    fs::copy_file(PageStateFile(fs::canonical(path("copy")).string()), stateFile(),
                  fs::copy_options::overwrite_existing);
    change(true);
    go("site");
    EXPECT_EQ(pages(), withNew);
    EXPECT_EQ(engine.run().pagesPassedOver, 0);

    // A folder where the state goes: said, and the pages are right all the same.
    fs::remove(stateFile());
    fs::create_directory(stateFile());
    change(false);
    go("site");
    EXPECT_EQ(pages(), without);
    ASSERT_FALSE(host.errorLines.empty());
    EXPECT_EQ(host.errorLines.back().rfind("Error saving the state of the pages: ", 0), 0u)
        << host.errorLines.back();
}

// A page changed in place with its size and time put back: the change time gives it away.
TEST_F(PageStateRunTest, APageEditedBehindTheRunsBackIsSeen) {
    go("site");
    go("site");
    const auto first = pages();
    const std::string page = path("site/sub/index.html");
    struct stat st;
    ASSERT_EQ(::stat(page.c_str(), &st), 0);
    {
        std::fstream out(page, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(20);
        out.put('#');
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, page.c_str(), times, 0), 0);
    go("site");
    EXPECT_EQ(pages(), first);
    EXPECT_EQ(engine.run().pagesWritten, 1);
    // Asked about, when the options ask.
    {
        std::fstream out(page, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(20);
        out.put('#');
    }
    ASSERT_EQ(::utimensat(AT_FDCWD, page.c_str(), times, 0), 0);
    set("chkReplaceOlda", "0");
    host.answers.push_back(Answer::No);
    go("site");
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_NE(readFile(page), first.at(page));
}

// Whatever a page is made of besides its folder changes every page.
TEST_F(PageStateRunTest, OtherOptionsPassNothingOver) {
    go("site");
    go("site");  // sees the icons' folder the first run made after its pages
    go("site");
    EXPECT_EQ(engine.run().pagesPassedOver, 4);
    set("chkColuSize", "0");
    go("site");
    EXPECT_EQ(engine.run().pagesPassedOver, 0);
    EXPECT_EQ(engine.run().pagesWritten, 4);
    go("site");
    EXPECT_EQ(engine.run().pagesPassedOver, 4);
}

// Checksums are put off while the files stand as they were; a file swapped for another of the
// same size and time, or a checksum file changed by hand, is seen all the same.
TEST_F(PageStateRunTest, ChecksumsPutOffStayRight) {
    set("chkColuHash", "1");
    for (int run = 0; run < 3; ++run) go("site");
    EXPECT_EQ(engine.run().pagesPassedOver, 4);
    writeFile("site/sub/swap.tmp", "SUB/B.TXT");  // as long as "sub/b.txt"
    fs::rename(path("site/sub/swap.tmp"), path("site/sub/b.txt"));
    setTime("site/sub/b.txt", 1500000000);
    setTime("site/sub", 1500000000);
    go("site");
    const std::string md5 = HashFile(path("site/sub/b.txt"))->md5;
    EXPECT_NE(readFile(path("site/sub/MD5SUMS")).find(md5 + "  b.txt"), std::string::npos);
    EXPECT_NE(readFile(path("site/sub/index.html")).find(md5), std::string::npos);
    // The page showed the checksum file as it was written: the next run finds nothing to do.
    go("site");
    EXPECT_EQ(engine.run().pagesPassedOver, 4);
    const std::string sums = readFile(path("site/sub/MD5SUMS"));
    std::ofstream(path("site/sub/MD5SUMS"), std::ios::app) << "0123 *forged\n";
    go("site");
    EXPECT_EQ(readFile(path("site/sub/MD5SUMS")), sums);
}

// A file changed within the last seconds could change again without its time showing it: the
// folder's checksums are looked up again until it settles.
TEST_F(PageStateRunTest, ChecksumsOfFilesJustChangedAreNotPutOff) {
    set("chkColuHash", "1");
    writeFile("site/sub/now.txt", "now");
    for (int run = 0; run < 3; ++run) go("site");
    EXPECT_EQ(engine.run().pagesPassedOver, 3);  // all but sub's
    setTime("site/sub/now.txt", 1500000000);
    setTime("site/sub", 1500000000);
    go("site");
    go("site");
    EXPECT_EQ(engine.run().pagesPassedOver, 4);
}

}  // namespace
}  // namespace tabulo::test
