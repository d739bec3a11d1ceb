// More threads, same run: pages, status lines, questions and the all-in-one output must not
// depend on how many threads read folders and render pages.

#include <unistd.h>

#include <filesystem>
#include <map>

#include "common/Text.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

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
        fs::create_directory_symlink(path(base + "/f1"), path(base + "/f2/to-f1"));
        fs::create_directory_symlink(path(base + "/.hidden"), path(base + "/f3/hid"));
        fs::create_directory_symlink(path(base + "/.hidden"), path(base + "/f4/hid-again"));
        fs::create_directory_symlink(path(base), path(base + "/f5/up"));
        fs::create_symlink(path(base + "/nowhere"), path(base + "/f6/dangling"));
    }

    struct Outcome {
        std::map<std::string, std::string> files;
        std::vector<std::string> status, questions;
    };

    Outcome run(const std::string& base, int jobs, const char* mode) {
        ScriptedHost h;
        // The same answers in the same order: Yes, No, Yes, ...
        for (int i = 0; i < 40; ++i) h.answers.push_back(i % 2 ? Answer::No : Answer::Yes);
        Engine e(h);
        e.today = engine.today;
        e.setJobs(jobs);
        e.setCurrentFolder(path(base));
        // Times of folders change as pages are written, at whatever second that is: no time
        // cells here.
        for (auto [name, value] :
             {std::pair{"chkColuTime", "0"}, {"chkSumSize", "1"}, {"chkColuDesc", "1"}}) {
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
};

TEST_F(ParallelWalkTest, SameResultsWithOneThreadAndWithFour) {
    for (const char* mode : {"optCurrentDir", "optAllInOneFile", "optAllInOneFolder"}) {
        // The same folder name at the top: it is the title of the top page.
        std::string a = std::string("one-") + mode + "/site",
                    b = std::string("four-") + mode + "/site";
        makeTree(a);
        makeTree(b);
        Outcome one = run(a, 1, mode);
        Outcome four = run(b, 4, mode);
        EXPECT_EQ(one.status, four.status) << mode;
        EXPECT_EQ(one.questions, four.questions) << mode;
        EXPECT_FALSE(one.questions.empty()) << mode;
        ASSERT_EQ(one.files.size(), four.files.size()) << mode;
        for (const auto& [name, bytes] : one.files)
            EXPECT_EQ(bytes, four.files[name]) << mode << name;
        EXPECT_EQ(one.status.back(), "Done") << mode;
    }
}

}  // namespace
}  // namespace tabulo::test
