#include <filesystem>

#include "commands/Daemon.h"
#include "common/Text.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class DaemonTest : public EngineTest {};

TEST_F(DaemonTest, UnattendedRunsAskNothingAndKeepWhatDidNotChange) {
    writeFile("www/a/x.txt");
    writeFile("www/a/b/y.txt");  // written into after its parent's page was made
    writeFile("www/index.html", "old page");
    writeFile("more/y.txt");
    engine.setCurrentFolder(path("elsewhere-in-the-list"));
    set("txtWWWroot", path("www"));
    engine.options().setList(opt("lstDeamonMore"), {path("more"), path("gone"), path("www/")});
    EXPECT_EQ(DaemonFolders(engine), (std::vector<std::string>{path("www"), path("more")}));

    DaemonPass(engine);
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(host.opened.empty());  // chkView is on, but nobody is there to look
    EXPECT_NE(readFile(path("www/index.html")), "old page");
    EXPECT_TRUE(fs::exists(path("www/a/index.html")));
    EXPECT_TRUE(fs::exists(path("more/index.html")));
    EXPECT_EQ(engine.currentFolder(), path("elsewhere-in-the-list"));

    // A second pass writes only what changed: here the page of the folder that got a file.
    // Its own pages of the first pass changed no folder's time that a page shows.
    setTime("www/index.html", 1000);
    setTime("www/a/index.html", 1000);
    setTime("more/index.html", 1000);
    writeFile("more/z.txt");
    DaemonPass(engine);
    struct stat st {};
    ::stat(path("www/a/index.html").c_str(), &st);
    EXPECT_EQ(st.st_mtime, 1000);
    ::stat(path("www/index.html").c_str(), &st);
    EXPECT_EQ(st.st_mtime, 1000);
    ::stat(path("more/index.html").c_str(), &st);
    EXPECT_NE(st.st_mtime, 1000);
    EXPECT_TRUE(contains(readFile(path("more/index.html")), "z.txt"));
}

TEST_F(DaemonTest, OneFolderAloneAndAStopBetweenFolders) {
    writeFile("site/a/x.txt");
    writeFile("site/b/y.txt");
    engine.RunUnattended(path("site"), false);
    EXPECT_TRUE(fs::exists(path("site/index.html")));
    EXPECT_FALSE(fs::exists(path("site/a/index.html")));

    engine.setJobs(1);  // no page is written ahead of its turn
    int asked = 0;
    engine.stopRequested = [&] { return ++asked > 1; };  // after the first subfolder
    engine.RunUnattended(path("site"), true);
    EXPECT_TRUE(fs::exists(path("site/a/index.html")));
    EXPECT_FALSE(fs::exists(path("site/b/index.html")));
    EXPECT_EQ(host.statusLines.back(), "Stopped before the page of `" + path("site") + "`");
}

TEST_F(DaemonTest, IntervalAsTyped) {
    Options o;
    for (auto [typed, seconds] : std::vector<std::pair<std::string, int>>{
             {"3600", 3600}, {"0", 1}, {"-5", 1}, {"abc", 1}, {"2.7", 2}, {"1e300", 365 * 24 * 3600}}) {
        o.setText(opt("txtDaemon"), typed);
        EXPECT_EQ(DaemonSeconds(o), seconds) << typed;
    }
}

}  // namespace
}  // namespace tabulo::test
