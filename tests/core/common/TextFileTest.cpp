#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "common/Paths.h"
#include "common/TextFile.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class TextFileTest : public EngineTest {
  protected:
    void put(const std::string& file, const std::string& text, const WriteRules& rules = {}) {
        TextFile out(file, Unmappable::HtmlReference, rules);
        out.write(text);
        out.commit();
    }
    static mode_t modeOf(const std::string& file) {
        struct stat st;
        EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
        return st.st_mode & 07777;
    }
    std::vector<std::string> temporaries(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) {
            if (isTemporaryName(e.path().filename().string())) names.push_back(e.path().filename());
        }
        return names;
    }
};

TEST_F(TextFileTest, ReplacingMakesANewFileWithTheOldBits) {
    std::string page = writeFile("index.html", "old");
    ::chmod(page.c_str(), 0664);
    fs::create_hard_link(page, path("copy.html"));  // a copy of the old inode
    put(page, "new");
    EXPECT_EQ(readFile(page), "new");
    EXPECT_EQ(readFile(path("copy.html")), "old");  // not truncated in place
    EXPECT_EQ(modeOf(page), 0664u);

    std::string script = writeFile("index.cgi", "#!perl");
    ::chmod(script.c_str(), 0755);
    put(script, "#!perl again");
    EXPECT_EQ(modeOf(script), 0755u);

    mode_t mask = ::umask(022);
    put(path("fresh.html"), "x");
    WriteRules executable;
    executable.executable = true;
    put(path("fresh.cgi"), "x", executable);
    ::umask(mask);
    EXPECT_EQ(modeOf(path("fresh.html")), 0644u);
    EXPECT_EQ(modeOf(path("fresh.cgi")), 0755u);
    EXPECT_TRUE(temporaries(root).empty());
}

TEST_F(TextFileTest, ALinkedNameKeepsItsLinkAndItsTargetIsReplaced) {
    std::string real = writeFile("pages/real.html", "old");
    fs::create_symlink("pages/real.html", path("index.html"));
    put(path("index.html"), "new", WriteRules(realPath(root).value()));
    EXPECT_TRUE(fs::is_symlink(path("index.html")));
    EXPECT_EQ(readFile(real), "new");
    EXPECT_TRUE(temporaries(path("pages")).empty());
    EXPECT_TRUE(temporaries(root).empty());

    // A dangling link gets its target created, inside the folder it may use.
    fs::create_symlink("pages/later.html", path("later.html"));
    put(path("later.html"), "made");
    EXPECT_EQ(readFile(path("pages/later.html")), "made");
}

TEST_F(TextFileTest, NeverWritesOutsideItsFolderOrThroughAPlantedLink) {
    const std::string outside = fs::path(root).parent_path().string() + "/outside.txt";
    std::ofstream(outside) << "theirs";
    fs::create_symlink(outside, path("index.html"));
    try {
        put(path("index.html"), "mine", WriteRules(realPath(root).value(), true));
        ADD_FAILURE() << "wrote through a link leading out";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().message(), "it leads outside the folder being indexed");
    }
    EXPECT_EQ(readFile(outside), "theirs");

    // Temporary names an earlier version used were predictable: links planted under them must
    // never be written through.
    for (int i = 0; i < 10; ++i) {
        fs::create_symlink(outside, path(".tabulo-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(i) + ".tmp"));
    }
    put(path("page.html"), "mine");
    EXPECT_EQ(readFile(outside), "theirs");
    EXPECT_EQ(readFile(path("page.html")), "mine");
}

TEST_F(TextFileTest, FailuresLeaveTheOldFileAndNoTemporary) {
    std::string page = writeFile("index.html", "good");
    {
        TextFile out(page, Unmappable::HtmlReference);
        out.write("half a pa");
    }  // dropped without commit, as when a write fails
    EXPECT_EQ(readFile(page), "good");
    makeFolder("folder.html");
    EXPECT_THROW(put(path("folder.html"), "x"), std::system_error);
    EXPECT_THROW(put(path("nowhere/x.html"), "x"), std::system_error);
    EXPECT_THROW(put(path(std::string(300, 'n') + ".html"), "x"), std::system_error);
    EXPECT_TRUE(temporaries(root).empty());
}

TEST_F(TextFileTest, TemporariesOfEndedRunsAreSwept) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);  // its pid now names no process
    std::string dead = ".tabulo-" + std::to_string(child) + "-abc.tmp";
    std::string alive = ".tabulo-1-abc.tmp";  // init never ends
    writeFile(dead, "half");
    writeFile(alive, "busy");
    WriteRules noSweep;
    noSweep.sweep = false;
    put(path("page.html"), "x", noSweep);
    EXPECT_EQ(temporaries(root).size(), 2u);
    put(path("page.html"), "x");
    EXPECT_EQ(temporaries(root), std::vector<std::string>{alive});
    removeStaleTemporaries(root, {dead, alive});
    EXPECT_TRUE(fs::exists(path(alive)));
}

TEST_F(TextFileTest, TheSameBytesAgainAreNotWritten) {
    // Past one buffer's worth, so the comparison goes chunk by chunk.
    std::string text(200000, 'x');
    for (std::size_t i = 0; i < text.size(); i += 97) text[i] = static_cast<char>('a' + i % 26);
    std::string page = writeFile("index.html", text);
    setTime("index.html", 1000000000);
    auto write = [&](const std::string& bytes, std::function<bool()> mayReplace = nullptr) {
        WriteRules rules;
        rules.keepUnchanged = true;
        rules.mayReplace = std::move(mayReplace);
        TextFile out(page, Unmappable::HtmlReference, rules);
        out.writeRaw(bytes);
        return out.commit();
    };
    EXPECT_EQ(write(text), WriteOutcome::Unchanged);
    struct stat st;
    ASSERT_EQ(::stat(page.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000000);  // untouched

    // A difference late in the file, after matching chunks: the old part is carried over.
    std::string changed = text;
    changed[150000] = '!';
    int asked = 0;
    EXPECT_EQ(write(changed, [&] { return ++asked, false; }), WriteOutcome::Declined);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(readFile(page), text);
    EXPECT_EQ(write(changed, [&] { return ++asked, true; }), WriteOutcome::Written);
    EXPECT_EQ(readFile(page), changed);
    // Shorter and longer than the old file.
    EXPECT_EQ(write(changed.substr(0, 70000)), WriteOutcome::Written);
    EXPECT_EQ(readFile(page), changed.substr(0, 70000));
    EXPECT_EQ(write(changed), WriteOutcome::Written);
    EXPECT_EQ(readFile(page), changed);
    EXPECT_TRUE(temporaries(root).empty());
}

}  // namespace
}  // namespace tabulo::test
