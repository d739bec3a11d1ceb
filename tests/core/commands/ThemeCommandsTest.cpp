#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "commands/ThemeCommands.h"
#include "common/Text.h"
#include "support/Fixture.h"
#include "themes/Themes.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class ThemeCommandsTest : public EngineTest {
  protected:
    void writeTheme(const std::string& name, const std::string& bytes) {
        std::ofstream(home() + "/" + name + ".color", std::ios::binary) << bytes;
    }
    void load(const std::string& name) {
        engine.options().setText(opt("cmbSheme"), name);
        cmdLoad_Click(engine);
    }
    void save(const std::string& name) {
        engine.options().setText(opt("cmbSheme"), name);
        cmdSave_Click(engine);
    }
    std::string theme(const std::string& name) { return readFile(home() + "/" + name + ".color"); }
    Options& o() { return engine.options(); }
};

TEST_F(ThemeCommandsTest, DefaultThemeByteForByte) {
    std::string expected = crlf(readFile(TABULO_TEST_DATA "/themes/default.color"));
    expected.resize(expected.size() - 2);  // the last line has no line end
    save("default");
    EXPECT_EQ(theme("default"), expected);
    EXPECT_EQ(host.statusLines, (std::vector<std::string>{"Saving : `default.color`",
                                                          "Done saving : `default.color`"}));
    EXPECT_EQ(o().editedMark(), "-");
}

TEST_F(ThemeCommandsTest, EditedOptionsSurviveARoundTrip) {
    makeFolder("www/r\xC3\xA9");
    select("optAllInOneFolder");
    set("txtWWWroot", path("www/r\xC3\xA9"));
    set("txtHeader", "<b>caf\xC3\xA9</b>\r\n\r\nline 3\r\n");
    set("txtFooter", "\xE2\x82\xAC and \xE6\x97\xA5");  // the second needs UTF-8
    set("txtExclude", "*.tmp;\r\nsecret*");
    for (const char* name : {"chkHeader", "chkFooter", "chkSumSize", "chkUtf"}) set(name, "1");
    set("chkColuTime", "0");
    set("tabOptions", "4");
    select("optCssNew");
    select("optIconsLocal");
    select("optFileSize", 3);
    select("optProtocolCustom");
    o().appendList(opt("lstDeamonMore"), "/srv/a");
    o().appendList(opt("lstDeamonMore"), "/srv/b c");
    o().setColour(5, "123abc");
    engine.ToggleOptionsPanel();
    save("mine");

    ScriptedHost otherHost;
    Engine other(otherHost);
    other.options().setText(opt("cmbSheme"), "mine");
    cmdLoad_Click(other);
    for (OptionId id = 0; id < kOptionTable.size(); ++id) {
        if (!Options::def(id).stored || id == opt("chkView")) continue;
        EXPECT_EQ(other.options().valueText(id), o().valueText(id)) << Options::def(id).name;
    }
    EXPECT_EQ(other.options().editedMark(), "-");
    EXPECT_EQ(other.currentFolder(), path("www/r\xC3\xA9"));  // the www root locks
    EXPECT_FALSE(other.panel().enabled("txtWWWroot"));
    EXPECT_TRUE(other.panel().visible("txtHeader"));
    EXPECT_EQ(other.panel().clientHeight(), Panel::kLineBottom);
}

TEST_F(ThemeCommandsTest, HandWrittenFilesLoadLineByLine) {
    writeTheme("hand",
               "[hand sheme settings]\n"
               "chkView.Value=0\n"  // written, never applied
               "chkHeader.Value=1\n"
               "txtHeader.Text=<p>one\n"
               "two\n"
               "chkAbout.Value=0\n"                     // a key ends the header, and applies
               "txtComment.Text=a txtComment.Text=b\n"  // every occurrence of the key goes
               "chkTable.Value=2\n"
               "chkBorder.Value=x\n"  // does not convert: unchanged
               "optFileSize=9\n"      // no such member: unchanged
               "tabOptions.Tab=9\n"
               "optCssNew.Value=True\r\n"
               "optCssOld.Value=False\n"
               "lstDeamonMore.List=/a\n"
               "some line nobody knows\n"
               "txtColorHex=&1&2\n"  // short: no slot changes
               "lblOptions.Caption=>");
    load("hand");
    load("hand");
    EXPECT_EQ(o().check(opt("chkView")), 1);
    EXPECT_EQ(o().text(opt("txtHeader")), "<p>one\r\ntwo");
    EXPECT_EQ(o().check(opt("chkAbout")), 0);
    EXPECT_EQ(o().text(opt("txtComment")), "a b");
    EXPECT_EQ(o().check(opt("chkTable")), 2);
    EXPECT_EQ(o().check(opt("chkBorder")), 1);
    EXPECT_TRUE(o().selected(opt("optAuto")));
    EXPECT_EQ(o().tab(), 0);
    EXPECT_TRUE(o().selected(opt("optCssNew")));
    EXPECT_EQ(o().list(opt("lstDeamonMore")), (std::vector<std::string>{"/a", "/a"}));
    EXPECT_EQ(o().colour(0), "f0f0f0");
    EXPECT_EQ(o().text(opt("lblOptions")), "Options <");  // a stored ">" leaves it open
    EXPECT_TRUE(engine.panel().visible("txtHeader"));
    EXPECT_EQ(host.statusLines.back(), "Done loading : `hand.color`");
    EXPECT_EQ(o().editedMark(), "-");
}

TEST_F(ThemeCommandsTest, Windows1252FilesAndErrorSuppression) {
    writeTheme("old",
               "[old sheme "
               "settings]\r\ntxtAboutNick.Text=Jos\xE9\r\ntxtWWWroot.Text=/no/such/place\r\n[text "
               "panel]\r\n");
    load("old");
    EXPECT_EQ(o().text(opt("txtAboutNick")), "Jos\xC3\xA9");
    EXPECT_EQ(o().text(opt("txtWWWroot")), "/no/such/place");
    // Once an error shows, the load stays quiet about sections and success.
    EXPECT_EQ(host.statusLines.back(), "Error: The `/no/such/place` does not exist.");

    host.statusLines.clear();
    writeTheme("Error1", "[text panel]\n");
    load("Error1");
    EXPECT_EQ(host.statusLines, std::vector<std::string>{"Loading : `Error1.color`"});

    load("missing");
    EXPECT_EQ(host.statusLines.back(), "Error Loading : `missing.color` does not exist.");
    EXPECT_EQ(o().editedMark(), "-");
}

// Loads `text` into a fresh engine, then what that engine would save into another fresh one:
// every option must come out the same, whatever the text.
void expectReloadsUnchanged(const std::string& root, const std::string& text) {
    ScriptedHost firstHost, secondHost;
    Engine first(firstHost), second(secondHost);
    first.setCurrentFolder(root);
    second.setCurrentFolder(root);
    ApplyThemeText(first, text);
    ApplyThemeText(second, ThemeText(first.options(), "t"));
    for (OptionId id = 0; id < kOptionTable.size(); ++id) {
        EXPECT_EQ(second.options().valueText(id), first.options().valueText(id))
            << Options::def(id).name << " after loading:\n"
            << text;
    }
}

TEST_F(ThemeCommandsTest, MalformedThemesReloadUnchanged) {
    const std::string colours = "txtColorHex=&AABBCC&1&2&3&4&5&6&7&8";
    for (const std::string& text : std::vector<std::string>{
             // lone CRs, also inside multi-line values
             "txtHeader.Text=a\rb\r\rchkAbout.Value=0\rtxtFooter.Text=x\r\r[text panel]",
             "chkTable.Value=0\r\ntxtExclude.Text=*.a;\r*.b\n\r\n\rchkHeader.Value=1",
             "\xEF\xBB\xBF"
             "chkTable.Value=0\r\ntxtFont.Text=Verdana",
             // keys in continuation lines, values holding keys, a key that removal re-forms
             "txtHeader.Text=one\ntwo chkTable.Value=0 txtComment.Text=c\nthree",
             "txtComment.Text=see chkTable.Value=0\ntxtFont.Text=txtFontSize.Text=9",
             "x txtFont.Text=a txtFontSize.Text=b\ntxtFont.Text=Arial",
             "txtFont.TexttxtFont.Text==x\nlstDeamonMore.List=lstDeamonMore.ListlstDeamonMore.List="
             "=",
             "[txtFont.Text=x sheme settings]\ntxtFooter.Text=txtHeader.Text=h\nchkView.Value=0",
             // empty lines before section heads, at the end, and nothing else
             "txtFooter.Text=f\n\n\n[protocol/daemon]\n\ntxtHeader.Text=h\n\n[files panel]",
             "txtExclude.Text=\n\n",
             "",
             // groups left without a choice, rules whose order in the file differs
             "optProtocolCustom.Value=True\noptProtocolCustom.Value=False\noptAuto.Value=0",
             "optAllInOneFile.Value=True\noptAllInOneFile.Value=False",
             "optAllInOneFolder.Value=True\ntxtWWWroot.Text=" + root +
                 "/nowhere\nlblAllInOneFolder.Caption=",
             "optIconsLocal.Value=True\nlblWWWroot.Caption=?x\noptIconsRemote.Value="
             "True\noptIconsLocal.Value=1",
             "chkIcons32.Value=1\ntxtIcons32.Text=48\ntxtIcohref.Text=x#y\nchkIconsDynamic.Value=0",
             "optCgi.Value=False\ntxtIndexScript.Text=a\noptPhp.Value=True",
             colours + "\n" + replaceAll(colours, "AABBCC", "AABBCCzz"),
             replaceAll(colours, "AABBCC", "zz") + "\nchkColor.Value=0",
             // numbers that do not fit
             "chkTable.Value=1e300\ntabOptions.Tab=8.4\noptProtocol=1e300\nchkBorder.Value= 2.5 ",
             "optCssNew.Value=-1e-300\noptFileSize=-1\nlblOptions.Caption=>\nlblOptions.Caption=<",
         }) {
        expectReloadsUnchanged(root, text);
    }
}

TEST_F(ThemeCommandsTest, LineEndsAndByteOrderMark) {
    writeTheme("cr",
               "\xEF\xBB\xBF"
               "chkTable.Value=0\rtxtHeader.Text=a\rb\r\rchkAbout.Value=0\r"
               "txtFooter.Text=c\r\n\r[text panel]\rtxtFont.Text=Verdana");
    load("cr");
    EXPECT_EQ(o().check(opt("chkTable")), 0);
    EXPECT_EQ(o().text(opt("txtHeader")), "a\r\nb\r\n");
    EXPECT_EQ(o().check(opt("chkAbout")), 0);
    EXPECT_EQ(o().text(opt("txtFooter")), "c");  // the empty line before a head is the file's
    EXPECT_EQ(o().text(opt("txtFont")), "Verdana");
    EXPECT_EQ(host.statusLines.back(), "Done loading : `cr.color`");
}

TEST_F(ThemeCommandsTest, TextKeepsItsCharactersThroughSaveAndLoad) {
    // Windows-1252 bytes of the first two are no UTF-8; those of the others are.
    for (const char* nick :
         {"Jos\xC3\xA9", "\xE2\x82\xAC 5", "\xC3\x83\xC2\xA9", "a\xC3\x82\xC2\xA0"}) {
        set("txtAboutNick", nick);
        o().setEditedMark("ok");
        save("enc");
        ScriptedHost otherHost;
        Engine other(otherHost);
        other.setCurrentFolder(root);
        other.options().setText(opt("cmbSheme"), "enc");
        cmdLoad_Click(other);
        EXPECT_EQ(other.options().text(opt("txtAboutNick")), nick);
    }
    EXPECT_TRUE(contains(theme("enc"), "txtAboutNick.Text=a\xC3\x82\xC2\xA0\r\n"));  // UTF-8
    set("txtAboutNick", "Jos\xC3\xA9");
    o().setEditedMark("ok");
    save("enc");
    EXPECT_TRUE(contains(theme("enc"), "txtAboutNick.Text=Jos\xE9\r\n"));  // windows-1252
}

TEST_F(ThemeCommandsTest, OnlyRegularFilesLoad) {
    ASSERT_EQ(::mkfifo((home() + "/pipe.color").c_str(), 0644), 0);
    fs::create_directory(home() + "/folder.color");
    for (const std::string name : {"pipe", "folder"}) {
        set("chkTable", "1");
        load(name);  // a pipe nobody writes to must not block
        EXPECT_EQ(host.statusLines.back(),
                  "Error Loading : `" + name + ".color` is not a regular file.");
        EXPECT_EQ(o().check(opt("chkTable")), 1);
    }
}

TEST_F(ThemeCommandsTest, NumbersAtTheEdgesOfTheirRange) {
    struct Case {
        const char* line;
        const char* option;
        std::string expected;  // "" when the value must stay as it was
    };
    for (const Case& c : std::vector<Case>{{"chkTable.Value=32767", "chkTable", "32767"},
                                           {"chkTable.Value=-32768", "chkTable", "-32768"},
                                           {"chkTable.Value=32767.5", "chkTable", ""},
                                           {"chkTable.Value=32768", "chkTable", ""},
                                           {"chkTable.Value=-32769", "chkTable", ""},
                                           {"chkTable.Value=1e300", "chkTable", ""},
                                           {"chkTable.Value=0x10", "chkTable", ""},
                                           {"chkTable.Value=+2.5", "chkTable", "2"},
                                           {"tabOptions.Tab=8", "tabOptions", "8"},
                                           {"tabOptions.Tab=9", "tabOptions", ""},
                                           {"tabOptions.Tab=-1", "tabOptions", ""},
                                           {"optProtocol=4", "optProtocol", "4"},
                                           {"optProtocol=5", "optProtocol", ""},
                                           {"optProtocol=-1e300", "optProtocol", ""},
                                           {"optProtocol=-1", "optProtocol", "-1"},
                                           {"optCssNew.Value=1e300", "optCssNew", "True"},
                                           {"optCssNew.Value=inf", "optCssNew", ""}}) {
        ScriptedHost h;
        Engine fresh(h);
        fresh.setCurrentFolder(root);
        OptionId id = Options::find(c.option).value();
        std::string before = fresh.options().valueText(id);
        ApplyThemeText(fresh, c.line);
        EXPECT_EQ(fresh.options().valueText(id), c.expected.empty() ? before : c.expected)
            << c.line;
    }
}

TEST_F(ThemeCommandsTest, NamesArePlainFileNames) {
    for (const char* bad : {"", "../x", "a/b", "a\\b", "..", "a\nb"}) {
        host.statusLines.clear();
        save(bad);
        EXPECT_TRUE(host.sawError()) << bad;
        load(bad);
        EXPECT_TRUE(contains(host.statusLines.back(), "Error")) << bad;
    }
    EXPECT_FALSE(fs::exists(fs::path(home()).parent_path() / "x.color"));
}

TEST_F(ThemeCommandsTest, SavingAsksBeforeReplacing) {
    writeTheme("t", "old");
    host.answers = {Answer::No};
    o().setEditedMark("*");
    save("t");
    EXPECT_EQ(theme("t"), "old");
    EXPECT_EQ(o().editedMark(), "-");
    o().setEditedMark("ok");  // the exit dialog's save asks nothing
    save("t");
    EXPECT_NE(theme("t"), "old");
    EXPECT_EQ(host.questions, std::vector<std::string>{"Tabulo: Overwrite 't.color' ?"});
    EXPECT_EQ(std::count(engine.themeList().begin(), engine.themeList().end(), "t"), 1);
}

TEST_F(ThemeCommandsTest, FailedSaveKeepsTheOldFileAndTheMark) {
    writeTheme("t", "old");
    set("chkAutoSave", "1");
    // A folder where the new file would be renamed to makes the save fail.
    fs::remove(home() + "/t.color");
    fs::create_directory(home() + "/t.color");
    o().setEditedMark("*");
    save("t");
    EXPECT_TRUE(host.sawError());
    EXPECT_EQ(o().editedMark(), "*");
    EXPECT_TRUE(fs::is_directory(home() + "/t.color"));
}

TEST_F(ThemeCommandsTest, ThemeListChooseTypeDelete) {
    for (const char* name : {"zeta", "Alpha", "default", "random", "beta"}) writeTheme(name, "");
    engine.setThemeList(ThemeListFromDisk());
    EXPECT_EQ(engine.themeList(),
              (std::vector<std::string>{"default", "random", "Alpha", "beta", "zeta"}));

    cmbSheme_Click(engine, 1);
    EXPECT_TRUE(engine.panel().visible("cmdRandom"));
    EXPECT_FALSE(engine.panel().enabled("CmdDelete"));
    cmbSheme_Click(engine, 3);
    EXPECT_EQ(host.statusLines.back(), "Done loading : `beta.color`");
    EXPECT_TRUE(engine.panel().enabled("CmdDelete"));

    cmbSheme_KeyDown(engine, 'X');  // before the key changes the text
    EXPECT_EQ(engine.panel().caption("cmdLoad"), "betax.color");
    EXPECT_EQ(o().text(opt("txtIndexCss")), "betax.css");
    o().setText(opt("cmbSheme"), "");
    cmbSheme_KeyDown(engine, 'A');
    EXPECT_FALSE(engine.panel().enabled("cmdSave"));

    o().setText(opt("cmbSheme"), "beta");
    fs::remove(home() + "/beta.color");  // already gone: the list still follows
    CmdDelete_Click(engine);
    EXPECT_EQ(engine.themeList(), (std::vector<std::string>{"default", "random", "Alpha", "zeta"}));
    EXPECT_EQ(o().text(opt("cmbSheme")), "default");
    EXPECT_EQ(host.statusLines.back(), "Done deleting : `beta.color`");

    // Their files may go, the two first entries never do.
    for (const char* name : {"default", "random"}) {
        o().setText(opt("cmbSheme"), name);
        CmdDelete_Click(engine);
        EXPECT_FALSE(fs::exists(home() + "/" + name + ".color"));
        EXPECT_EQ(engine.themeList(),
                  (std::vector<std::string>{"default", "random", "Alpha", "zeta"}));
    }
}

TEST_F(ThemeCommandsTest, LockAndUnlockTheWwwRoot) {
    engine.setCurrentFolder(path("www"));
    makeFolder("www");
    o().setText(opt("cmbSheme"), "site");
    cmdLockWWWRoot_Click(engine);
    EXPECT_EQ(o().text(opt("txtWWWroot")), path("www"));
    EXPECT_EQ(o().text(opt("lblWWWroot")), path("www"));
    EXPECT_EQ(o().text(opt("txtWWWRootDepth")),
              std::to_string(std::count(root.begin(), root.end(), '/') + 1));
    EXPECT_FALSE(engine.panel().visible("cmdLockWWWRoot"));
    EXPECT_TRUE(contains(theme("site"), "txtWWWroot.Text=" + path("www") + "\r\n"));
    cmdUnlock_Click(engine);
    EXPECT_EQ(o().text(opt("txtWWWroot")), "");
    EXPECT_EQ(o().text(opt("txtWWWRootDepth")), "999");
    EXPECT_TRUE(engine.panel().visible("cmdLockWWWRoot"));
    EXPECT_EQ(o().editedMark(), "*");
}

}  // namespace
}  // namespace tabulo::test
