#include <filesystem>
#include <fstream>

#include "commands/Startup.h"
#include "common/Text.h"
#include "support/Fixture.h"
#include "commands/ThemeCommands.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class StartupTest : public EngineTest {
  protected:
    void writeTheme(const std::string& name, const std::string& text) {
        std::ofstream(fs::path(root).parent_path() / "home" / (name + ".color"), std::ios::binary)
            << text;
    }
    StartOutcome start(const std::string& line, StartMode mode = StartMode::Window) {
        return Form_Activate(engine, line, mode);
    }
    bool said(const std::string& text) const {
        return std::find(host.statusLines.begin(), host.statusLines.end(), text) !=
               host.statusLines.end();
    }
    std::size_t whereSaid(const std::string& text) const {
        return std::find(host.statusLines.begin(), host.statusLines.end(), text) -
               host.statusLines.begin();
    }
};

TEST_F(StartupTest, ContextMenuLineIndexesViewsAndEnds) {
    writeFile("a/x.txt");
    auto outcome = start("\"" + path("a") + "\"-view");
    EXPECT_TRUE(outcome.quit);
    EXPECT_TRUE(fs::exists(path("a/index.html")));
    EXPECT_EQ(host.opened.size(), 1u);
}

TEST_F(StartupTest, PlainFolderIndexesWithoutViewing) {
    auto outcome = start(root);
    EXPECT_TRUE(outcome.quit);
    EXPECT_EQ(engine.options().check(opt("chkView")), 0);
    EXPECT_TRUE(host.opened.empty());
}

// Cancel ends the replacing, not the run: the window the run was started in ends as after any.
TEST_F(StartupTest, ARunCancelledAtAQuestionEndsAllTheSame) {
    writeFile("a/index.html", "old");
    writeFile("index.html", "old");
    host.answers = {Answer::Cancel};
    auto outcome = start("\"" + root + "\"");
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(engine.statusLine(), "Cancelled");
    EXPECT_TRUE(outcome.quit);
    EXPECT_FALSE(start("\"" + root + "\"-noquit").quit);
}

TEST_F(StartupTest, NoQuitKeepsTheWindowAndLoadsTheDefaultAfterwards) {
    writeTheme("default", "chkTable.Value=0\r\n");
    auto outcome = start("\"" + root + "\"-noquit-view");
    EXPECT_FALSE(outcome.quit);
    EXPECT_LT(whereSaid("Done"), whereSaid("Done loading : `default.color`"));
    EXPECT_TRUE(contains(readFile(path("index.html")), "<table"));  // indexed before the theme
    EXPECT_EQ(engine.options().check(opt("chkTable")), 0);
    EXPECT_EQ(engine.options().editedMark(), "-");
}

TEST_F(StartupTest, NamedThemeComesFirst) {
    writeTheme("blue", "chkTable.Value=0\r\n");
    writeTheme("default", "chkCenter.Value=0\r\n");
    auto outcome = start("\"" + root + "\"-sheme blue");
    EXPECT_TRUE(outcome.quit);
    EXPECT_EQ(outcome.theme, "blue");
    EXPECT_FALSE(contains(readFile(path("index.html")), "<table"));
    EXPECT_FALSE(said("Loading : `default.color`"));
}

TEST_F(StartupTest, MissingThemeStopsEverything) {
    writeTheme("default", "chkTable.Value=0\r\n");
    auto outcome = start(root + "-sheme blue");
    EXPECT_FALSE(outcome.quit);
    EXPECT_TRUE(said("Error: Sheme : `blue` not found."));
    EXPECT_EQ(host.statusLines.back(),
              "Error: The `" + root + "-sheme blue/` directory not found or empty.");
    EXPECT_FALSE(fs::exists(path("index.html")));
    EXPECT_EQ(engine.options().check(opt("chkTable")), 1);  // no default theme either
}

TEST_F(StartupTest, TheToolStopsAtAMissingThemeWithOneError) {
    writeTheme("default", "chkTable.Value=0\r\n");
    auto outcome = start(root + " -sheme blue", StartMode::Tool);
    EXPECT_TRUE(outcome.themeMissing);
    EXPECT_FALSE(outcome.started);
    EXPECT_EQ(outcome.theme, "blue");
    EXPECT_EQ(host.errorLines, std::vector<std::string>{"Error: Sheme : `blue` not found."});
    EXPECT_FALSE(fs::exists(path("index.html")));
    EXPECT_EQ(engine.options().check(opt("chkTable")), 1);
}

TEST_F(StartupTest, TheToolSaysWhyAFolderCannotBeIndexed) {
    writeFile("plain.txt");
    struct Case {
        std::string line, error;
    };
    const Case cases[] = {
        {path("nowhere"), "Error: The folder `" + path("nowhere") + "` does not exist."},
        {path("nowhere") + " -view", "Error: The folder `" + path("nowhere") + "` does not exist."},
        {path("plain.txt/sub"), "Error: The folder `" + path("plain.txt/sub") + "` does not exist."},
        {path("plain.txt"), "Error: `" + path("plain.txt") + "` is a file, not a folder."},
        {"\"" + path("plain.txt") + "\"-view", "Error: `" + path("plain.txt") + "` is a file, not a folder."},
    };
    for (const Case& c : cases) {
        ScriptedHost h;
        Engine e(h);
        auto outcome = Form_Activate(e, c.line, StartMode::Tool);
        EXPECT_TRUE(outcome.folderMissing) << c.line;
        EXPECT_EQ(h.errorLines, std::vector<std::string>{c.error}) << c.line;
    }
    // The window keeps its message, and a folder that is there is none of these.
    auto outcome = start(path("nowhere"));
    EXPECT_FALSE(outcome.folderMissing);
    EXPECT_EQ(host.errorLines, std::vector<std::string>{"Error: The `" + path("nowhere") +
                                                        "/` directory not found or empty."});
    EXPECT_EQ(MissingFolderMessage(root), std::nullopt);
    makeFolder("trailing ");
    EXPECT_EQ(MissingFolderMessage(path("trailing ")), std::nullopt);
}

TEST_F(StartupTest, ThemeSectionsAreDetailsTheStatusLineStillShows) {
    writeTheme("blue", "[blue sheme settings]\r\n[text panel]\r\nchkTable.Value=0\r\n");
    start(root + "-noquit-sheme blue");
    const std::vector<std::string> sections{"Loading Section : `[blue sheme settings]`",
                                            "Loading Section : `[text panel]`"};
    EXPECT_EQ(host.detailLines, sections);
    EXPECT_TRUE(said(sections[1]));
    EXPECT_TRUE(said("Loading : `blue.color`"));
    EXPECT_TRUE(host.errorLines.empty());
}

TEST_F(StartupTest, WithoutACommandLine) {
    makeFolder("www");
    writeTheme("default", "txtWWWroot.Text=" + path("www") + "\r\nchkTable.Value=0\r\n");
    writeTheme("mine", "");
    start("");
    EXPECT_EQ(engine.themeList(), (std::vector<std::string>{"default", "random", "mine", "modern", "server"}));
    EXPECT_EQ(engine.currentFolder(), path("www"));
    EXPECT_FALSE(engine.panel().visible("cmdLockWWWRoot"));
    EXPECT_EQ(engine.options().editedMark(), "-");
    // Every field painted; the mixer stands at the page background with its colour.
    EXPECT_EQ(engine.colours().field(1).background, 0xAAAAAAu);
    EXPECT_EQ(engine.colours().currentSlot(), 0);
    EXPECT_EQ(engine.options().check(opt("scrR")), 255 - 0xF0);
    EXPECT_TRUE(Form_Unload(engine));
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(StartupTest, WindowOpensInTheFolderUsedLastElseAtHome) {
    const std::string user = (fs::path(root).parent_path() / "user").string();  // $HOME
    start("");
    EXPECT_EQ(engine.currentFolder(), user);
    RememberFolder(makeFolder("last"));
    ScriptedHost h;
    Engine again(h);
    Form_Activate(again, "", StartMode::Window);
    EXPECT_EQ(again.currentFolder(), path("last"));
    fs::remove(path("last"));  // gone since: home again
    Engine third(h);
    Form_Activate(third, "", StartMode::Window);
    EXPECT_EQ(third.currentFolder(), user);
}

TEST_F(StartupTest, LargeRunOutsideALockedRootIsAskedAboutOnce) {
    for (int i = 0; i < 1000; ++i) makeFolder("big/f" + std::to_string(i / 10) + "/" + std::to_string(i % 10));
    engine.setCurrentFolder(path("big/f0"));
    EXPECT_TRUE(ConfirmLargeRun(engine));  // 10 folders
    engine.setCurrentFolder(path("big"));
    set("chkReqrsive", "0");
    EXPECT_TRUE(ConfirmLargeRun(engine));  // 1,100 folders, but only the top one's page
    EXPECT_TRUE(host.questions.empty());
    set("chkReqrsive", "1");
    host.answers = {Answer::No};
    EXPECT_FALSE(ConfirmLargeRun(engine));
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_TRUE(contains(host.questions[0], "`" + path("big") + "` holds more than 1,000 folders"));
    // Under a locked www root the user has said where pages belong.
    set("txtWWWroot", root);
    engine.lockWwwRootField(true);
    EXPECT_TRUE(ConfirmLargeRun(engine));
    EXPECT_EQ(host.questions.size(), 1u);
}

TEST_F(StartupTest, RandomColoursAreNeverSavedAsATheme) {
    start("");
    cmbSheme_Click(engine, 1);  // the theme list's "random" entry
    ASSERT_EQ(engine.options().text(opt("cmbSheme")), "random");
    set("chkTable", "0");
    ASSERT_EQ(engine.options().editedMark(), "*");
    host.answers = {Answer::No, Answer::Yes};
    EXPECT_FALSE(Form_Unload(engine));
    EXPECT_TRUE(Form_Unload(engine));
    EXPECT_TRUE(contains(host.questions.at(0), "Close without saving"));
    EXPECT_FALSE(fs::exists(home() + "/random.color"));
}

TEST_F(StartupTest, ToolLoadsTheDefaultBeforeTheRunFromTheNamedFolder) {
    // An all-in-one default theme takes the command line's folder as its www root.
    writeTheme("default", "optAllInOneFile.Value=True\r\n");
    makeFolder("a/b");
    auto outcome = start(path("a"), StartMode::Tool);
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(engine.options().text(opt("txtWWWroot")), path("a"));
    EXPECT_TRUE(contains(readFile(path("a/index.html")), "<a name=\"index_of-b.html\"></a>"));
}

TEST_F(StartupTest, SwitchesCountOnlyAsWordsAndNoFolderMeansNoRun) {
    writeTheme("blue", "chkTable.Value=0\r\n");
    makeFolder("my-viewer");
    const std::string viewer = path("my-viewer");
    struct Case {
        std::string line;
        std::string indexed;  // "" when nothing may be indexed
        int view;
        bool quit;
    };
    const Case cases[] = {
        {"-view", "", 1, false},
        {"\"\"", "", 0, false},
        {"\"\" -view -noquit", "", 1, false},
        {"  -sheme blue", "", 0, false},
        {"\"\"-sheme blue", "", 0, false},
        {viewer, viewer, 0, true},
        {viewer + "-view", viewer, 1, true},
        {"\"" + viewer + "\"-noquit-view", viewer, 1, false},
        {viewer + " -noquit", viewer, 0, false},
        {viewer + "-sheme blue", viewer, 0, true},
    };
    for (const Case& c : cases) {
        ScriptedHost h;
        Engine e(h);
        std::vector<std::string> runs;
        // Recorded, never walked: a start-up that went wrong here must not index "/".
        e.indexRunner = [&](Engine& engine) {
            runs.push_back(engine.currentFolder());
            engine.setStatus("Done");
        };
        auto outcome = Form_Activate(e, c.line, StartMode::Tool);
        EXPECT_EQ(runs, c.indexed.empty() ? std::vector<std::string>{}
                                          : std::vector<std::string>{c.indexed})
            << c.line;
        EXPECT_EQ(outcome.noFolder, c.indexed.empty()) << c.line;
        EXPECT_EQ(e.options().check(opt("chkView")), c.view) << c.line;
        EXPECT_EQ(outcome.quit, c.quit) << c.line;
    }
}

}  // namespace
}  // namespace tabulo::test
