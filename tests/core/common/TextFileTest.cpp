#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <algorithm>

#include "common/Descriptor.h"
#include "common/Faults.h"
#include "common/FolderAccess.h"
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
    static FolderId idAt(const std::string& folder) {
        Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
        return idOf(fd.get());
    }
    // Every name in the folder that starts like a temporary, whatever its shape.
    static std::vector<std::string> dotTabulo(const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) {
            std::string name = e.path().filename();
            if (name.starts_with(".tabulo-")) names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static pid_t endedProcess() {
        pid_t child = ::fork();
        if (child == 0) ::_exit(0);
        ::waitpid(child, nullptr, 0);  // its pid now names no process
        return child;
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
    put(path("index.html"), "new", WriteRules(idAt(root)));
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
    const std::string above = fs::path(root).parent_path().string();
    std::ofstream(above + "/outside.txt") << "theirs";
    fs::create_directories(above + "/site2");  // a sibling whose name starts like the tree's
    std::ofstream(above + "/site2/page.html") << "theirs";
    fs::create_directories(above + "/elsewhere");
    auto refused = [&](const std::string& file, const std::string& why) {
        try {
            put(file, "mine", WriteRules(idAt(root), true));
            ADD_FAILURE() << "wrote through a link leading out: " << file;
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().message(), why) << file;
        }
    };
    // Absolute and relative links in the file's place, and a linked folder on the way.
    fs::create_symlink(above + "/outside.txt", path("index.html"));
    fs::create_symlink("../outside.txt", path("relative.html"));
    fs::create_symlink("../site2/page.html", path("sibling.html"));
    fs::create_directory_symlink("../elsewhere", path("linked"));
    for (const char* name : {"index.html", "relative.html", "sibling.html"})
        refused(path(name), "it leads outside the folder being indexed");
    refused(path("linked/index.html"), "it leads outside the folder being indexed");
    EXPECT_EQ(readFile(above + "/outside.txt"), "theirs");
    EXPECT_EQ(readFile(above + "/site2/page.html"), "theirs");
    EXPECT_TRUE(fs::is_empty(above + "/elsewhere"));
    // Given the open folder, only a link in the file's own place is followed, and checked.
    Descriptor folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_THROW(TextFile(folder.get(), "relative.html", "x", Unmappable::KeepUtf8,
                          WriteRules(idAt(root), true)),
                 std::system_error);
    EXPECT_THROW(TextFile(folder.get(), "linked/index.html", "x", Unmappable::KeepUtf8),
                 std::system_error);
    EXPECT_EQ(readFile(above + "/outside.txt"), "theirs");

    // Temporary names an earlier version used were predictable: links planted under them must
    // never be written through.
    for (int i = 0; i < 10; ++i) {
        fs::create_symlink(above + "/outside.txt", path(".tabulo-" + std::to_string(::getpid()) + "-" +
                                                      std::to_string(i) + ".tmp"));
    }
    put(path("page.html"), "mine");
    EXPECT_EQ(readFile(above + "/outside.txt"), "theirs");
    EXPECT_EQ(readFile(path("page.html")), "mine");
}

TEST_F(TextFileTest, SpecialBitsSurviveAReplacement) {
    for (mode_t mode : {04755, 02755, 01644, 06775}) {
        std::string file = writeFile("special", "old");
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        put(file, "new");
        EXPECT_EQ(modeOf(file), mode) << std::oct << mode;
    }
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

TEST_F(TextFileTest, OnlyTemporariesOfEndedWritersAreSwept) {
    const std::string dead = std::to_string(endedProcess());
    const std::string stale = ".tabulo-" + dead + "-abcdefghij12.tmp";
    // Look-alikes a user may own, and the temporaries of writers still at work.
    const std::vector<std::string> kept = {
        ".tabulo-" + dead + "-abcdefghij12.txt",    // no .tmp
        ".tabulo-" + dead + "-abc.tmp",             // too short to be ours
        ".tabulo-" + dead + "-ABCDEFGHIJ12.tmp",    // not our letters
        ".tabulo--abcdefghij12.tmp",                // no pid
        ".tabulo-notes.tmp",
        ".tabulo-x" + dead + "-abcdefghij12.tmp",
        ".tabulo-1-abcdefghij12.tmp",                       // init never ends
        ".tabulo-" + std::to_string(::getpid()) + "-abcdefghij12.tmp",  // ours, being written
    };
    writeFile(stale, "half");
    for (const auto& name : kept) writeFile(name, "mine");
    WriteRules noSweep;
    noSweep.sweep = false;
    put(path("page.html"), "x", noSweep);
    EXPECT_EQ(dotTabulo(root).size(), kept.size() + 1);
    put(path("page.html"), "x");
    auto expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dotTabulo(root), expected);

    // A sweep goes relative to the folder it was given, even once its path leads elsewhere.
    writeFile("pinned/" + stale, "half");
    writeFile("decoy/" + stale, "theirs");
    Descriptor pinned(::open(path("pinned").c_str(), O_RDONLY | O_DIRECTORY));
    fs::rename(path("pinned"), path("moved"));
    fs::create_directory_symlink(path("decoy"), path("pinned"));
    removeStaleTemporaries(pinned.get(), {stale, kept[0], kept[3]});
    EXPECT_FALSE(fs::exists(path("moved/" + stale)));
    EXPECT_EQ(readFile(path("decoy/" + stale)), "theirs");
}

TEST_F(TextFileTest, InjectedFailuresLoseNothing) {
    std::string page = writeFile("index.html", "good");
    for (const char* fault : {"write:1", "rename:1"}) {
        ::setenv("TABULO_FAULTS", fault, 1);
        resetInjectedFaults();
        EXPECT_THROW(put(page, "new"), std::system_error) << fault;
        EXPECT_EQ(readFile(page), "good") << fault;
        EXPECT_TRUE(temporaries(root).empty()) << fault;
    }
    ::unsetenv("TABULO_FAULTS");
    resetInjectedFaults();
    put(page, "new");
    EXPECT_EQ(readFile(page), "new");
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
