// More threads, same run: pages, status lines, questions and the all-in-one output must not
// depend on how many threads read folders and render or write pages.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>

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
    // What a tree holds at a path: its kind ('f'ile, 'd'irectory or 'l'ink), a file's bytes
    // and the time.
    struct Entry {
        char kind;
        std::string bytes;
        std::time_t time;
        bool operator==(const Entry&) const = default;
    };
    using Tree = std::map<std::string, Entry>;

    static constexpr std::time_t kMadeAt = 1500000000;

    // A tree with a bit of everything, the same each time, under `base`. New files and folders
    // are slow to make on some disks, and every run makes a page per folder: few of them, yet
    // more folders side by side than four threads read ahead.
    void makeTree(const std::string& base) {
        auto file = [&](const std::string& rel, const std::string& text = "x") {
            writeFile(base + "/" + rel, text);
        };
        for (int i = 0; i < 10; ++i) {
            std::string f = "f" + std::to_string(i);
            file(f + "/a" + std::to_string(i) + ".txt", std::string(i * 37, 'a'));
            file(f + "/b.PDF");
            if (i % 3 == 0) file(f + "/sub/deeper/n.gz", "gz");
            // A narrow tree, which workers read ahead of the walk well below where it is.
            if (i == 6) file(f + "/c/d/e/f/g/h/i/j/k/l/m.txt", std::string(i, 'm'));
            if (i % 5 == 0) file(f + "/desc.txt", "about, \"f " + std::to_string(i) + "\"");
            if (i % 4 == 0) file(f + "/index.html", "an old page");
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
        fs::create_directory_symlink(path(base + "/f2"), path(base + "/f1/to-f2"));
        fs::create_directory_symlink(path(base + "/f5"), path(base + "/f4/to-f5"));
        fs::create_directory_symlink(path(base + "/f8"), path(base + "/f7/to-f8"));
        fs::create_directory_symlink(path(base + "/.hidden"), path(base + "/f3/hid"));
        fs::create_directory_symlink(path(base), path(base + "/f5/up"));
        fs::create_symlink(path(base + "/nowhere"), path(base + "/f6/dangling"));
        fixTimes(base);
    }

    // Links lead to folders next in the walk, which more threads may write first; a row of a
    // folder written earlier would show the second its page was written. Every time fixed,
    // the same in every copy; a file under many names has one time, set once.
    void fixTimes(const std::string& base) {
        std::set<ino_t> done;
        for (const auto& entry : fs::recursive_directory_iterator(path(base))) {
            struct stat st;
            if (::lstat(entry.path().c_str(), &st) == 0 && done.insert(st.st_ino).second)
                setTime(entry.path().string().substr(root.size() + 1), kMadeAt);
        }
        setTime(base, kMadeAt);
    }

    // Everything below `folder`, by path from it; a file under many names is read once.
    static Tree scan(const std::string& folder) {
        Tree tree;
        std::map<ino_t, std::string> read;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            struct stat st;
            if (::lstat(entry.path().c_str(), &st) != 0) continue;
            Entry e{S_ISREG(st.st_mode) ? 'f' : S_ISDIR(st.st_mode) ? 'd' : 'l', "", st.st_mtime};
            if (e.kind == 'f') {
                auto [it, fresh] = read.try_emplace(st.st_ino);
                if (fresh) it->second = readFile(entry.path());
                e.bytes = it->second;
            }
            tree[entry.path().string().substr(folder.size())] = std::move(e);
        }
        return tree;
    }

    // Puts the tree under `base` back as it was made, for the next run: what the last run
    // added goes, files it replaced get their bytes back, and their times and those of all
    // folders are fixed again. Making it anew would cost more than the runs. True when it is
    // as made.
    bool putBack(const std::string& base, const Tree& after, const Tree& made) {
        std::error_code ec;
        for (const auto& [name, entry] : after) {
            auto was = made.find(name);
            if (was == made.end())
                fs::remove_all(path(base) + name, ec);
            else if (entry.bytes != was->second.bytes)
                writeFile(base + name, was->second.bytes);
        }
        for (const auto& [name, entry] : made) {
            auto now = after.find(name);
            if (entry.kind == 'd' || now == after.end() || !(now->second == entry))
                setTime(base + name, entry.time);
        }
        setTime(base, kMadeAt);
        return scan(path(base)) == made;
    }

    struct Outcome {
        Tree tree;
        std::vector<std::string> status, questions;
    };

    Outcome run(const std::string& base, int jobs, const char* mode, const char* style,
                ScriptedHost& h) {
        Engine e(h);
        e.today = engine.today;
        e.setJobs(jobs);
        e.setCurrentFolder(path(base));
        for (auto [name, value] :
             {std::pair{"chkSumSize", "1"}, {"chkColuDesc", "1"}, {"chkColuTime", "1"}}) {
            e.options().setValueText(*Options::find(name), value);
        }
        e.options().select(*Options::find(mode));
        e.options().select(*Options::find(style));
        e.options().setText(opt("lblAllInOneFolder"), "");
        e.options().setText(opt("txtWWWroot"), "");
        e.cmdGo_Click();
        Outcome out;
        const std::string prefix = path(base);
        out.tree = scan(prefix);
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
        ASSERT_EQ(one.tree.size(), four.tree.size()) << what;
        for (const auto& [name, entry] : one.tree) {
            const Entry& other = four.tree.at(name);
            EXPECT_EQ(entry.kind, other.kind) << what << name;
            if (showsTimesOfThisRun(name, mode)) continue;
            EXPECT_TRUE(entry.bytes == other.bytes) << what << name;
        }
        EXPECT_EQ(one.status.back(), "Done") << what;
    }
};

TEST_F(ParallelWalkTest, SameResultsWithOneThreadAndWithFour) {
    // Each run starts from the same two trees, put back as made after it.
    const std::string a = "one/site", b = "four/site";
    makeTree(a);
    makeTree(b);
    const Tree made = scan(path(a));
    ASSERT_TRUE(scan(path(b)) == made);
    // Modern pages measure the tree before they are written: folder rows show its totals.
    for (auto [mode, style] : {std::pair{"optCurrentDir", "optPageClassic"},
                               {"optAllInOneFile", "optPageClassic"},
                               {"optAllInOneFolder", "optPageClassic"},
                               {"optCurrentDir", "optPageModern"},
                               {"optAllInOneFile", "optPageModern"}}) {
        // Questions answered one by one: Yes, No, Yes, ...; then answers known beforehand.
        for (int answers : {0, 1, 2}) {
            auto host = [&]() -> std::unique_ptr<ScriptedHost> {
                if (answers == 1) return std::make_unique<StandingHost>(Answer::Yes);
                if (answers == 2) return std::make_unique<StandingHost>(Answer::No);
                auto h = std::make_unique<ScriptedHost>();
                for (int i = 0; i < 40; ++i) h->answers.push_back(i % 2 ? Answer::No : Answer::Yes);
                return h;
            };
            auto h1 = host(), h4 = host();
            Outcome one = run(a, 1, mode, style, *h1);
            Outcome four = run(b, 4, mode, style, *h4);
            std::string what = std::string(mode) + " " + style + " answers " +
                               std::to_string(answers) + ": ";
            expectSame(one, four, what, mode);
            // Flat pages are new files: they replace no page, so nobody is asked about them.
            EXPECT_EQ(one.questions.empty(), answers != 0 || std::string(mode) != "optCurrentDir")
                << what;
            ASSERT_TRUE(putBack(a, one.tree, made) && putBack(b, four.tree, made)) << what;
        }
    }
}

}  // namespace
}  // namespace tabulo::test
