#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>

#include "common/Text.h"
#include "support/Fixture.h"
#include "support/LocalServers.h"

extern char** environ;

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

struct Result {
    int exitCode = -1;
    std::string err;
};

// Runs the real tabulo-cli with stdin from /dev/null (so no terminal) and captures stderr;
// `locale` (for LC_ALL) replaces the test's own.
Result runCli(const std::vector<std::string>& args, const std::string& workdir,
              const std::string& locale = "") {
    std::string errFile = workdir + "/../stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::string outFile = workdir + "/../stdout.txt";
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> all{TABULO_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (locale.empty() || !std::string_view(*e).starts_with("LC_ALL=")) env.push_back(*e);
    }
    if (!locale.empty()) env.push_back("LC_ALL=" + locale);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string cwd = fs::current_path();
    fs::current_path(workdir);
    pid_t pid;
    int rc = posix_spawn(&pid, TABULO_CLI, &actions, nullptr, argv.data(), envp.data());
    fs::current_path(cwd);
    posix_spawn_file_actions_destroy(&actions);
    Result r;
    if (rc != 0) return r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = readFile(errFile);
    return r;
}

class CliTest : public EngineTest {
  protected:
    Result run(std::vector<std::string> args, const std::string& locale = "") {
        return runCli(args, root, locale);
    }
    std::string themePath(const std::string& name) const {
        return fs::path(root).parent_path().string() + "/home/" + name + ".color";
    }
};

TEST_F(CliTest, IndexesTheTreeAndEnds) {
    writeFile("a/x.txt", "x");
    Result r = run({root});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(fs::exists(path("index.html")));
    EXPECT_TRUE(fs::exists(path("a/index.html")));
    EXPECT_TRUE(r.err.ends_with("Done generating index for : `" + root + "`\nDone\n")) << r.err;
    EXPECT_TRUE(r.err.starts_with("Generating index for : `" + path("a") + "`\n")) << r.err;
}

TEST_F(CliTest, RelativeFolderAndGluedSwitches) {
    writeFile("sub/x.txt");
    // The context-menu shape: a quoted path followed directly by -view.
    Result r = run({"\"sub\"-view"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("sub/index.html")));
    Result noquit = run({"\"sub\"-noquit-view"});
    EXPECT_EQ(noquit.exitCode, 0) << noquit.err;
}

TEST_F(CliTest, BlankBeforeASwitchStaysInTheFolderText) {
    makeFolder("sub");
    // "sub -view" minus the switch is "sub " with its blank; like the desktop system the
    // line comes from, the existence test ignores trailing blanks.
    Result r = run({"sub", "-view"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("sub/index.html")));
    // A folder whose name really ends in a blank wins.
    writeFile("sub /x.txt");
    r = run({"sub", "-noquit"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("sub /index.html")));
}

TEST_F(CliTest, MissingFolderAndUsage) {
    Result missing = run({path("nowhere")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "Error: The `" + path("nowhere") + "/` directory not found or empty.\n");
    writeFile("plain.txt");
    EXPECT_EQ(run({path("plain.txt")}).exitCode, 1);
    EXPECT_EQ(run({}).exitCode, 2);
    EXPECT_EQ(run({"--bogus", root}).exitCode, 2);
    EXPECT_EQ(run({"--version"}).exitCode, 0);
}

TEST_F(CliTest, ExistingPagesAreKeptUnlessTheAnswerIsYes) {
    writeFile("index.html", "mine");
    Result r = run({root});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFile(path("index.html")), "mine");
    r = run({"--answer=yes", root});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(readFile(path("index.html")), "mine");
}

TEST_F(CliTest, UnwritablePageGivesExitOne) {
    writeFile("a/x.txt");
    makeFolder("a/index.html");
    Result r = run({"--answer=yes", root});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "Error writing index for `" + path("a") + "`")) << r.err;
    EXPECT_TRUE(r.err.ends_with("Done\n"));
}

TEST_F(CliTest, ThemesByName) {
    writeFile("a/x.txt");
    std::ofstream(themePath("blue"), std::ios::binary) << "chkTable.Value=0\r\n";
    Result r = run({"\"" + root + "\"", "-sheme", "blue"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.starts_with("Loading : `blue.color`\nDone loading : `blue.color`\n"))
        << r.err;
    EXPECT_FALSE(contains(readFile(path("index.html")), "<table"));

    fs::remove(path("index.html"));
    r = run({root, "-sheme", "green"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: Sheme : `green` not found.\nError: The `" + root +
                         " -sheme green/` directory not found or empty.\n");
    EXPECT_FALSE(fs::exists(path("index.html")));

    r = run({"--themes"});
    std::string listed = readFile(fs::path(root).parent_path().string() + "/stdout.txt");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(listed, "default\nrandom\nblue\n");
}

TEST_F(CliTest, SaveThemeStartsFromTheDefaultOrANamedTheme) {
    std::ofstream(themePath("default"), std::ios::binary) << "txtAboutNick.Text=Me\r\n";
    std::ofstream(themePath("blue"), std::ios::binary) << "chkTable.Value=0\r\n";
    EXPECT_EQ(run({"--save-theme", "mine"}).exitCode, 0);
    std::string mine = readFile(themePath("mine"));
    EXPECT_TRUE(mine.starts_with("[mine sheme settings]\r\n"));
    EXPECT_TRUE(contains(mine, "\r\ntxtAboutNick.Text=Me\r\n"));
    EXPECT_TRUE(contains(mine, "\r\nchkView.Value=1\r\n"));
    EXPECT_EQ(run({"--save-theme", "mine", "-sheme", "blue"}).exitCode, 0);
    EXPECT_TRUE(contains(readFile(themePath("mine")), "\r\nchkTable.Value=0\r\n"));
    EXPECT_EQ(run({"--save-theme", "../escape"}).exitCode, 1);
    EXPECT_EQ(run({"--save-theme", "x", "-sheme", "nope"}).exitCode, 1);
    EXPECT_FALSE(fs::exists(themePath("x")));
}

TEST_F(CliTest, ScriptsForAFolderBelowTheWwwRoot) {
    makeFolder("a/b");
    std::ofstream(themePath("default"), std::ios::binary) << "txtWWWroot.Text=" << root << "\r\n";
    Result r = run({"--scripts", path("a/b")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(readFile(path("a/b/index.cgi")), "href=\\\"../index.css\\\""));
    EXPECT_TRUE(fs::exists(path("a/b/upload.cgi")));
    EXPECT_EQ(run({"--scripts", path("nowhere")}).exitCode, 1);
}

TEST_F(CliTest, NumbersReadTheSameUnderACommaLocale) {
    locale_t german = ::newlocale(LC_ALL_MASK, "de_DE.UTF-8", nullptr);
    ASSERT_NE(german, nullptr) << "the de_DE.UTF-8 locale is missing: run scripts/install-deps.sh";
    ::freelocale(german);
    writeFile("a.txt");
    std::ofstream(themePath("default"), std::ios::binary)
        << "chkIcons32.Value=1\r\ntxtIcons32.Text=12.5x12.5\r\ntxtLenght.Text=2.5e1\r\n";
    Result r = run({root}, "de_DE.UTF-8");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string page = readFile(path("index.html"));
    EXPECT_TRUE(contains(page, "<img width=\"12.5\" height=\"12.5\" border=\"0\" ")) << page;
}

TEST_F(CliTest, FailedIconDownloadsLeaveTheRunASuccess) {
    writeFile("a.txt");
    std::ofstream(themePath("default"), std::ios::binary)
        << "optIconsLocal.Value=True\r\nlblWWWroot.Caption=" << root
        << "\r\ntxtIcohrefDl.Text=http://127.0.0.1:" << freeLoopbackPort() << "/#.gif\r\n";
    Result r = run({root});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "\nDone\n"));
    EXPECT_TRUE(contains(r.err, "Error Winsock : ")) << r.err;
    EXPECT_TRUE(r.err.ends_with("Tabulo couldn't contact the website :(\n"))
        << r.err;  // waited for the last
    EXPECT_TRUE(fs::is_directory(path("pics/icons")));
}

}  // namespace
}  // namespace tabulo::test
