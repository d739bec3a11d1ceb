// The command line over the sample site, again and again: after the first run nothing changes.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "common/Text.h"
#include "options/Options.h"
#include "support/Fixture.h"
#include "themes/Themes.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class StableCliTest : public FolderTest {
  protected:
    // Every name below the site, with its time to the nanosecond and its bytes.
    std::map<std::string, std::string> state() const {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(path("site"))) {
            struct stat st;
            if (::lstat(e.path().c_str(), &st) != 0) continue;
            out[e.path().string()] = std::to_string(st.st_mtim.tv_sec) + "." +
                                     std::to_string(st.st_mtim.tv_nsec) +
                                     (S_ISREG(st.st_mode) ? " " + readFile(e.path()) : "");
        }
        return out;
    }
    int cli(const std::string& args) {
        int status = std::system((std::string(TABULO_CLI) + " " + args + " 2>" + root + "/../err.txt").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(StableCliTest, TheSampleSiteSettlesInOneRun) {
    fs::copy(std::string(TABULO_EXAMPLES) + "/site", path("site"), fs::copy_options::recursive);
    for (const auto& style : {"optPageClassic", "optPageModern"}) {
        Options o;
        o.setCheck(opt("chkColuHash"), 1);
        o.select(opt("optIconsLocal"));
        o.select(*Options::find(style));
        WriteThemeFile("checked", ThemeText(o, "checked"));
        const std::string site = "'" + path("site") + "'";
        ASSERT_EQ(cli("--answer=yes " + site + " -sheme checked"), 0) << readFile(root + "/../err.txt");
        ASSERT_TRUE(fs::exists(path("site/pics/icons/dir.gif")));
        const auto first = state();
        for (int run = 2; run <= 3; ++run) {
            // Without an answer nobody may be asked: a question would keep the old page.
            ASSERT_EQ(cli(site + " -sheme checked"), 0) << readFile(root + "/../err.txt");
            EXPECT_FALSE(contains(readFile(root + "/../err.txt"), "Overwrite"));
            const auto now = state();
            EXPECT_EQ(now.size(), first.size()) << style << " run " << run;
            for (const auto& [name, what] : now) {
                auto before = first.find(name);
                EXPECT_TRUE(before != first.end() && before->second == what)
                    << style << " run " << run << " changed " << name;
            }
        }
    }
}

// Without a terminal and without --answer, a page that would change is kept, and said so.
TEST_F(StableCliTest, APageKeptForWantOfAnAnswerIsSaid) {
    writeFile("site/a.txt");
    const std::string site = "'" + path("site") + "'";
    ASSERT_EQ(cli(site), 0);
    const std::string first = readFile(path("site/index.html"));
    writeFile("site/b.txt");
    ASSERT_EQ(cli(site), 0);
    EXPECT_EQ(readFile(path("site/index.html")), first);
    EXPECT_TRUE(contains(readFile(root + "/../err.txt"),
                         "Keeping `" + path("site/index.html") + "` as it was: the answer is No."));
    ASSERT_EQ(cli("--answer=yes " + site), 0);
    EXPECT_TRUE(contains(readFile(path("site/index.html")), "b.txt"));
}

}  // namespace
}  // namespace tabulo::test
