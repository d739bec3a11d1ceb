// More threads, same run: pages, status lines, questions and the all-in-one output must not
// depend on how many threads read folders and render or write pages.

#include <unistd.h>

#include <filesystem>
#include <map>

#include "common/Text.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

// A host that answers every question alike without being asked, as the tool does when no
// terminal is there: pages may then be written ahead of their turn.
struct StandingHost : ScriptedHost {
    explicit StandingHost(Answer a) : answer(a) {}
    std::optional<Answer> standingAnswer() const override { return answer; }
    Answer answer;
};

class ParallelWalkTest : public EngineTest {
  protected:
    // A tree with a bit of everything, the same each time, under `base`.
    void makeTree(const std::string& base) {
        auto file = [&](const std::string& rel, const std::string& text = "x") {
            writeFile(base + "/" + rel, text);
        };
        for (int i = 0; i < 30; ++i) {
            std::string f = "f" + std::to_string(i);
            file(f + "/a" + std::to_string(i) + ".txt", std::string(i * 37, 'a'));
            file(f + "/b.PDF");
            if (i % 3 == 0) file(f + "/sub/deeper/n.gz", "gz");
            if (i % 5 == 0) file(f + "/desc.txt", "about, \"f " + std::to_string(i) + "\"");
            if (i % 7 == 0) file(f + "/index.html", "an old page");
        }
        // More rows than a page rendered ahead may hold; links to one file, as new files are
        // slow to make by the thousand.
        file("big/r.dat", "r");
        for (int i = 0; i < 4100; ++i) {
            ::link(path(base + "/big/r.dat").c_str(),
                   path(base + "/big/r" + std::to_string(i) + ".dat").c_str());
        }
        file(".hidden/h.txt");
        file("Caf\xC3\xA9/men\xC3\xBC.txt");
        fs::create_directory_symlink(path(base + "/f20"), path(base + "/f2/to-f20"));
        fs::create_directory_symlink(path(base + "/f11"), path(base + "/f10/to-f11"));
        fs::create_directory_symlink(path(base + "/f13"), path(base + "/f12/to-f13"));
        fs::create_directory_symlink(path(base + "/.hidden"), path(base + "/f3/hid"));
        fs::create_directory_symlink(path(base), path(base + "/f5/up"));
        fs::create_symlink(path(base + "/nowhere"), path(base + "/f6/dangling"));
        // Links lead to folders next in the walk, which more threads may write first; a row of
        // a folder written earlier would show
        // the second its page was written. Every time fixed, the same in every copy.
        for (const auto& entry : fs::recursive_directory_iterator(path(base))) {
            if (!entry.is_symlink())
                setTime(entry.path().string().substr(root.size() + 1), 1500000000);
        }
        setTime(base, 1500000000);
    }

    struct Outcome {
        std::map<std::string, std::string> files;
        std::vector<std::string> status, questions;
    };

    Outcome run(const std::string& base, int jobs, const char* mode, ScriptedHost& h) {
        Engine e(h);
        e.today = engine.today;
        e.setJobs(jobs);
        e.setCurrentFolder(path(base));
        for (auto [name, value] :
             {std::pair{"chkSumSize", "1"}, {"chkColuDesc", "1"}, {"chkColuTime", "1"}}) {
            e.options().setValueText(*Options::find(name), value);
        }
        e.options().select(*Options::find(mode));
        e.options().setText(opt("lblAllInOneFolder"), "");
        e.options().setText(opt("txtWWWroot"), "");
        e.cmdGo_Click();
        Outcome out;
        const std::string prefix = path(base);
        for (const auto& entry : fs::recursive_directory_iterator(prefix)) {
            if (entry.is_regular_file())
                out.files[entry.path().string().substr(prefix.size())] = readFile(entry.path());
        }
        for (const auto& l : h.statusLines) out.status.push_back(replaceAll(l, prefix, "<site>"));
        for (const auto& q : h.questions) out.questions.push_back(replaceAll(q, prefix, "<site>"));
        return out;
    }

    // Pages show the times of folders; those written into during the run (the top page's rows,
    // all-in-one pages) carry the second it happened, which two runs never share.
    static bool showsTimesOfThisRun(const std::string& name, const char* mode) {
        return name == "/index.html" || std::string(mode) != "optCurrentDir";
    }

    void expectSame(const Outcome& one, const Outcome& four, const std::string& what,
                    const char* mode) {
        EXPECT_EQ(one.status, four.status) << what;
        EXPECT_EQ(one.questions, four.questions) << what;
        ASSERT_EQ(one.files.size(), four.files.size()) << what;
        for (const auto& [name, bytes] : one.files) {
            if (showsTimesOfThisRun(name, mode)) continue;
            EXPECT_TRUE(bytes == four.files.at(name)) << what << name;
        }
        EXPECT_EQ(one.status.back(), "Done") << what;
    }
};

TEST_F(ParallelWalkTest, SameResultsWithOneThreadAndWithFour) {
    int n = 0;
    for (const char* mode : {"optCurrentDir", "optAllInOneFile", "optAllInOneFolder"}) {
        // Questions answered one by one: Yes, No, Yes, ...; then answers known beforehand.
        for (int answers : {0, 1, 2}) {
            std::string a = "one" + std::to_string(n) + "/site",
                        b = "four" + std::to_string(n) + "/site";
            ++n;
            makeTree(a);
            makeTree(b);
            auto host = [&]() -> std::unique_ptr<ScriptedHost> {
                if (answers == 1) return std::make_unique<StandingHost>(Answer::Yes);
                if (answers == 2) return std::make_unique<StandingHost>(Answer::No);
                auto h = std::make_unique<ScriptedHost>();
                for (int i = 0; i < 40; ++i) h->answers.push_back(i % 2 ? Answer::No : Answer::Yes);
                return h;
            };
            auto h1 = host(), h4 = host();
            Outcome one = run(a, 1, mode, *h1);
            Outcome four = run(b, 4, mode, *h4);
            std::string what = std::string(mode) + " answers " + std::to_string(answers) + ": ";
            expectSame(one, four, what, mode);
            // Flat pages are new files: they replace no page, so nobody is asked about them.
            EXPECT_EQ(one.questions.empty(), answers != 0 || std::string(mode) != "optCurrentDir")
                << what;
        }
    }
}

}  // namespace
}  // namespace tabulo::test
