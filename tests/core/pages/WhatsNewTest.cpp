#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "common/Text.h"
#include "listing/OutputNames.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

// A feed reader's view of the feed: Python's feedparser reads it, and the elements RFC 4287
// requires are checked. Prints "title|id|link" per entry.
constexpr const char* kFeedCheck = R"PY(
import sys, feedparser
d = feedparser.parse(sys.argv[1])
assert not d.bozo, d.bozo_exception
assert d.version == "atom10", d.version
f = d.feed
for key in ("id", "title", "updated"):
    assert f.get(key), "feed lacks " + key
assert any(l.get("rel") == "self" for l in f.links), "no self link"
for e in d.entries:
    for key in ("id", "title", "updated", "link"):
        assert e.get(key), "entry lacks " + key
    print(e.title + "|" + e.id + "|" + e.link)
)PY";

class WhatsNewTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        set("chkWhatsNew", "1");
        select("optPageModern");
        set("chkReplaceOlda", "1");
    }
    // The feed's entries as a reader sees them; fails the test when it does not read.
    std::vector<std::string> entries() {
        const std::string script = home() + "/check-feed.py";
        std::ofstream(script) << kFeedCheck;
        const std::string out = home() + "/feed.txt";
        int status = std::system(("/usr/bin/python3 '" + script + "' '" + path("feed.atom") + "' > '" +
                                  out + "' 2>&1").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readFile(out) << readFile(path("feed.atom"));
        std::vector<std::string> lines = split(readFile(out), '\n');
        if (!lines.empty() && lines.back().empty()) lines.pop_back();
        return lines;
    }
    struct stat stamp(const std::string& name) {
        struct stat st {};
        ::stat(path(name).c_str(), &st);
        return st;
    }
};

TEST_F(WhatsNewTest, FilesComeAndGoAndTheFeedKeepsItsIds) {
    const std::time_t now = std::time(nullptr);
    writeFile("old/report.pdf", "old");
    setTime("old/report.pdf", now - 400 * 86400);  // long before: no news
    writeFile("docs/minutes.txt", "new");
    go();
    auto first = entries();
    ASSERT_EQ(first.size(), 1u) << readFile(path("feed.atom"));
    EXPECT_TRUE(first[0].starts_with("docs/minutes.txt|urn:tabulo:file:")) << first[0];
    EXPECT_TRUE(first[0].ends_with("|docs/minutes.txt")) << first[0];
    const std::string page = readFile(path("whatsnew.html"));
    EXPECT_TRUE(page.starts_with(kWhatsNewMark));
    EXPECT_TRUE(contains(page, ">minutes.txt</a></td><td class=\"comment\"><a href=\"docs/index.html\">docs</a>")) << page;
    EXPECT_FALSE(contains(page, "report.pdf"));
    // The pages link both; the top page lists neither as a file.
    const std::string top = readFile(path("index.html"));
    EXPECT_TRUE(contains(top, "<link rel=\"alternate\" type=\"application/atom+xml\" title=\"What's new\" href=\"feed.atom\">")) << top;
    EXPECT_TRUE(contains(readFile(path("docs/index.html")), "<a href=\"../whatsnew.html\">What's new</a>"));
    EXPECT_FALSE(contains(top, "data-name=\"whatsnew.html\""));
    EXPECT_FALSE(contains(top, "data-name=\"feed.atom\""));

    // A run with no change leaves both files as they are.
    const struct stat feedBefore = stamp("feed.atom"), pageBefore = stamp("whatsnew.html");
    go();
    EXPECT_EQ(stamp("feed.atom").st_ino, feedBefore.st_ino);
    EXPECT_EQ(stamp("whatsnew.html").st_ino, pageBefore.st_ino);

    // A file added is an entry; the one before keeps its id; a file deleted leaves.
    writeFile("photos/party.jpg", "jpg");
    go();
    auto second = entries();
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(std::count(second.begin(), second.end(), first[0]), 1);
    fs::remove(path("docs/minutes.txt"));
    go();
    auto third = entries();
    ASSERT_EQ(third.size(), 1u);
    EXPECT_TRUE(third[0].starts_with("photos/party.jpg|"));
    // A changed file is a new entry.
    writeFile("photos/party.jpg", "a bigger jpg");
    go();
    auto fourth = entries();
    ASSERT_EQ(fourth.size(), 1u);
    EXPECT_NE(fourth[0], third[0]);
}

TEST_F(WhatsNewTest, HostileNamesStayTextAndTheFeedStaysXml) {
    writeFile("<img src=x onerror=alert(1)>.txt", "x");
    writeFile("say \"hi\" & 'bye'.txt", "x");
    writeFile(std::string("ctl\x01") + "name.txt", "x");
    writeFile("caf\xE9.txt", "x");  // not UTF-8: read as windows-1252
    go();
    const std::string page = readFile(path("whatsnew.html"));
    EXPECT_FALSE(contains(page, "<img src=x")) << page;
    EXPECT_TRUE(contains(page, ">&lt;img src=x onerror=alert(1)&gt;.txt</a>")) << page;
    EXPECT_TRUE(contains(page, "href=\"%3Cimg%20src=x%20onerror=alert(1)%3E.txt\"")) << page;
    EXPECT_TRUE(contains(page, ">ctl&#1;name.txt</a>")) << page;
    auto titles = entries();
    ASSERT_EQ(titles.size(), 4u);
    std::sort(titles.begin(), titles.end());
    EXPECT_TRUE(titles[0].starts_with("<img src=x onerror=alert(1)>.txt|")) << titles[0];
    EXPECT_TRUE(titles[1].starts_with("caf\xC3\xA9.txt|")) << titles[1];
    EXPECT_TRUE(titles[1].ends_with("|caf%E9.txt")) << titles[1];
    EXPECT_TRUE(titles[2].starts_with("ctl\xEF\xBF\xBDname.txt|")) << titles[2];
}

TEST_F(WhatsNewTest, AUsersOwnFilesOfThoseNamesStayTheirs) {
    writeFile("whatsnew.html", "<p>my own news</p>");
    writeFile("feed.atom", "<feed/>");
    writeFile("a.txt", "a");
    go();
    EXPECT_EQ(readFile(path("whatsnew.html")), "<p>my own news</p>");
    EXPECT_EQ(readFile(path("feed.atom")), "<feed/>");
    EXPECT_TRUE(contains(readFile(path("index.html")), "data-name=\"whatsnew.html\""));
    bool said = false;
    for (const std::string& line : host.statusLines)
        said |= line == "Leaving `" + path("whatsnew.html") + "` as it is: it is not one of ours.";
    EXPECT_TRUE(said);
}

TEST_F(WhatsNewTest, AWatchKeepsThemCurrent) {
    writeFile("a/x.txt", "x");
    watchRun();
    EXPECT_EQ(entries().size(), 1u);
    writeFile("a/y.txt", "y");
    watchBatch({"a"});
    EXPECT_EQ(entries().size(), 2u);
    fs::remove_all(path("a"));
    watchBatch({""});
    EXPECT_TRUE(entries().empty()) << readFile(path("feed.atom"));
    // Off, nothing of it is written or linked.
    set("chkWhatsNew", "0");
    writeFile("b.txt", "b");
    fs::remove(path("whatsnew.html"));
    go();
    EXPECT_FALSE(fs::exists(path("whatsnew.html")));
    EXPECT_FALSE(contains(readFile(path("index.html")), "feed.atom"));
}

}  // namespace
}  // namespace tabulo::test
