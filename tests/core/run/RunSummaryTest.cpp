#include "run/RunSummary.h"

#include <filesystem>

#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

TEST(RunSummaryTextTest, SaysOnlyWhatHappenedInSingularOrPlural) {
    IndexRun run;
    EXPECT_EQ(RunSummaryText(run, 0), "0 pages written");
    run.pagesWritten = 1;
    EXPECT_EQ(RunSummaryText(run, 0), "1 page written");
    run.pagesWritten = 12;
    run.pagesUnchanged = 30;
    EXPECT_EQ(RunSummaryText(run, 0), "12 pages written, 30 unchanged");
    run.pagesDeclined = 1;
    run.foldersSkipped = 1;
    EXPECT_EQ(RunSummaryText(run, 1),
              "12 pages written, 30 unchanged, 1 kept, 1 folder skipped, 1 error");
    run.foldersSkipped = 2;
    EXPECT_EQ(RunSummaryText(run, 3),
              "12 pages written, 30 unchanged, 1 kept, 2 folders skipped, 3 errors");
}

TEST(RunSummaryTextTest, OnlyTheTwoLastWordsOfARunEndIt) {
    EXPECT_TRUE(IsRunEnd("Done"));
    EXPECT_TRUE(IsRunEnd("Cancelled"));
    for (const char* other : {"", "done", "Done loading : `default.color`", "Cancelled.", " Done"})
        EXPECT_FALSE(IsRunEnd(other)) << other;
}

class RunReportTest : public EngineTest {
  protected:
    // No icon folders of their own: the tree holds only the folders a test makes.
    void SetUp() override {
        EngineTest::SetUp();
        set("chkIcons", "0");
    }
    std::string report() const {
        const auto& r = engine.lastRunReport();
        return r ? r->text : "(none)";
    }
};

TEST_F(RunReportTest, CancelEndsTheRunWithCancelledAndCountsOnlyWhatWasAsked) {
    for (const char* f : {"a/index.html", "b/index.html", "c/index.html", "index.html"})
        writeFile(f, "old");
    host.answers = {Answer::Yes, Answer::Cancel};
    go();
    EXPECT_EQ(host.questions.size(), 2u);
    EXPECT_EQ(host.statusLines.back(), "Cancelled");
    EXPECT_EQ(std::count(host.statusLines.begin(), host.statusLines.end(), "Done"), 0);
    EXPECT_EQ(engine.statusLine(), "Cancelled");
    // The pages after the Cancel are passed over silently: neither kept nor written.
    EXPECT_EQ(report(), "1 page written, 1 kept");
    EXPECT_EQ(readFile(path("c/index.html")), "old");
    EXPECT_EQ(readFile(path("index.html")), "old");
    // The steps after the pages still run: the page is viewed as after any run.
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(host.opened[0], path("index.html") + " in " + root);

    // The next run starts afresh: no standing Cancel, counts from nought.
    host.answers = {Answer::YesToAll};
    go();
    EXPECT_EQ(host.statusLines.back(), "Done");
    EXPECT_EQ(report(), "3 pages written, 1 unchanged");  // "a" is the same as one run ago
}

TEST_F(RunReportTest, ARunAgainOverAnUnchangedTreeWritesNothing) {
    writeFile("a/x.txt");
    writeFile("b/y.txt");
    go();
    EXPECT_EQ(report(), "3 pages written");
    go();
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(report(), "0 pages written, 3 unchanged");
    host.answers = {Answer::NoToAll};
    const auto shown = fs::last_write_time(path("a"));
    writeFile("a/z.txt");
    fs::last_write_time(path("a"), shown);  // only a's own page changes
    go();
    EXPECT_EQ(report(), "0 pages written, 2 unchanged, 1 kept");
}

TEST_F(RunReportTest, SkippedFoldersAndErrorsAreCounted) {
    const std::string outside = fs::path(root).parent_path().string() + "/outside";
    fs::create_directories(outside);
    writeFile("a/x.txt");
    fs::create_directory_symlink("../outside", path("linked"));
    fs::create_symlink("../../outside/page.html", path("a/index.html"));
    set("chkReplaceOlda", "1");
    go();
    EXPECT_EQ(host.statusLines.back(), "Done");
    EXPECT_EQ(report(), "1 page written, 1 folder skipped, 1 error");
    EXPECT_FALSE(fs::exists(outside + "/page.html"));
}

TEST_F(RunReportTest, OpenPageOpensTheTopPageWhereTheModeWroteIt) {
    writeFile("a/x.txt");
    go();
    engine.cmdOpenPage_Click();
    ASSERT_EQ(host.opened.size(), 2u);  // once viewed by the run, once asked for
    EXPECT_EQ(host.opened[1], path("index.html") + " in " + root);

    const std::string out = makeFolder("out");
    set("chkReplaceOlda", "1");
    for (const char* mode : {"optAllInOneFile", "optAllInOneFolder"}) {
        select(mode);
        set("lblAllInOneFolder", out);
        set("chkView", "0");
        host.opened.clear();
        go();
        ASSERT_TRUE(engine.lastRunReport()) << mode;
        EXPECT_EQ(engine.lastRunReport()->page, out + "/index.html") << mode;
        EXPECT_TRUE(fs::exists(engine.lastRunReport()->page)) << mode;
        EXPECT_TRUE(host.opened.empty()) << mode;
        engine.cmdOpenPage_Click();
        EXPECT_EQ(host.opened, (std::vector<std::string>{out + "/index.html in " + out})) << mode;
    }
}

TEST_F(RunReportTest, NoReportAfterAFailedOrUnattendedRun) {
    writeFile("a/x.txt");
    go();
    ASSERT_TRUE(engine.lastRunReport());
    go("gone");
    EXPECT_FALSE(engine.lastRunReport());
    EXPECT_NE(engine.statusLine(), "Done");
    go();
    ASSERT_TRUE(engine.lastRunReport());
    engine.RunUnattended(root, true);
    EXPECT_EQ(engine.statusLine(), "Done");
    EXPECT_FALSE(engine.lastRunReport());
    host.opened.clear();
    engine.cmdOpenPage_Click();
    EXPECT_TRUE(host.opened.empty());
}

}  // namespace
}  // namespace tabulo::test
