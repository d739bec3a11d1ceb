#include "support/Fixture.h"
#include "commands/ThemeCommands.h"

namespace tabulo::test {
namespace {

class PanelRulesTest : public EngineTest {
  protected:
    Options& o() { return engine.options(); }
    const Panel& p() { return engine.panel(); }
};

TEST_F(PanelRulesTest, StartStateFollowsTheDefaults) {
    for (const char* c : {"txtPreLink",     "txtReplaceIndexs", "txtIndexOf",
                          "txtDaemon",      "txtUploadScript",  "txtUploadDirectory",
                          "txtIndexScript", "chkUploadScript",  "chkCgiFilter",
                          "optCgi",         "optPhp",
                          "optMimeReg",     "chkGlobalPicture", "chkGlobalDesc",
                          "CmdDelete",      "txtIcohref",       "chkIconsDynamic",
                          "txtProxy",       "scrIconsSize",     "lblAllInOneFolder",
                          "txtComment"}) {
        EXPECT_FALSE(p().enabled(c)) << c;
    }
    for (const char* c : {"txtHeader", "txtFooter", "txtWWWRootDepth", "cmdRandom"}) {
        EXPECT_FALSE(p().visible(c)) << c;
    }
    EXPECT_TRUE(p().enabled("txtIconsLocal"));  // local icons from the start
    EXPECT_TRUE(p().visible("txtHeading"));
    EXPECT_EQ(o().editedMark(), "-");
}

TEST_F(PanelRulesTest, ColourSwitchCarriesTheStylesheet) {
    o().setCheck(opt("chkColor"), 0);
    EXPECT_EQ(o().check(opt("chkCss")), 0);
    EXPECT_FALSE(p().enabled("optCssEmbed"));
    EXPECT_FALSE(p().visible("frmColor"));
    EXPECT_EQ(o().editedMark(), "*");
    o().setCheck(opt("chkColor"), 1);
    EXPECT_TRUE(p().enabled("optCssNew"));
}

TEST_F(PanelRulesTest, WhatMarksAndWhatDoesNot) {
    for (const char* quiet : {"tabOptions", "txtFilter", "chkUtf", "chkCgiFilter", "txtWWWroot"}) {
        o().setEditedMark("-");
        o().setValueText(*Options::find(quiet), quiet[0] == 't' && quiet[1] == 'a' ? "3" : "1");
        EXPECT_EQ(o().editedMark(), "-") << quiet;
    }
    // These refresh the preview, and every refresh counts as an edit.
    for (auto [name, value] :
         std::vector<std::pair<const char*, const char*>>{{"chkHeading", "0"},
                                                          {"chkW3c", "0"},
                                                          {"chkWindowsStyle", "1"},
                                                          {"chkTable", "0"},
                                                          {"txtBorder", "7"}}) {
        o().setEditedMark("-");
        unsigned before = engine.previewVersion();
        o().setValueText(*Options::find(name), value);
        EXPECT_EQ(o().editedMark(), "*") << name;
        EXPECT_EQ(engine.previewVersion() > before, name != std::string("chkTable")) << name;
    }
    EXPECT_FALSE(p().visible("txtHeading"));
}

TEST_F(PanelRulesTest, AllInOneChoiceChain) {
    o().select(opt("optAllInOneFile"));
    EXPECT_EQ(o().check(opt("chkAllInOneFile")), 1);
    EXPECT_EQ(o().editedMark(), "*");  // through the mirror's rule
    EXPECT_TRUE(p().enabled("txtIndexOf"));
    EXPECT_TRUE(p().enabled("cmdBrowseAllInOneFolder"));
    EXPECT_EQ(o().text(opt("txtWWWroot")), root);
    EXPECT_EQ(o().text(opt("lblAllInOneFolder")), root);
    o().select(opt("optCurrentDir"));
    EXPECT_FALSE(p().enabled("txtIndexOf"));
    // A locked www root stays where it is.
    engine.showWwwRootLock(false);
    engine.setCurrentFolder("/elsewhere");
    o().select(opt("optAllInOneFolder"));
    EXPECT_EQ(o().text(opt("txtWWWroot")), root);
}

TEST_F(PanelRulesTest, DependentControls) {
    o().select(opt("optGlobal"));
    EXPECT_TRUE(p().enabled("txtComment"));
    o().select(opt("optMimeReg"));
    EXPECT_FALSE(p().enabled("txtComment"));
    o().setCheck(opt("chkLenght"), 0);
    o().setCheck(opt("chkLenght"), 2);  // leaves the box as it was
    EXPECT_FALSE(p().enabled("txtLenght"));
    o().setCheck(opt("chkUpload"), 1);
    EXPECT_TRUE(p().enabled("chkUploadScript"));
    EXPECT_TRUE(p().enabled("txtIndexScript"));
    o().select(opt("optPhp"));
    EXPECT_EQ(o().text(opt("txtIndexScript")), "index.php");
    EXPECT_EQ(o().text(opt("txtUploadScript")), "upload.php");
    o().select(opt("optCgi"));
    EXPECT_EQ(o().text(opt("txtIndexScript")), "index.cgi");
    o().select(opt("optIconsRemote"));
    o().select(opt("optIconsLocal"));
    EXPECT_FALSE(p().enabled("txtProxy"));
    EXPECT_TRUE(p().enabled("chkProxy"));
    EXPECT_FALSE(p().enabled("chkIconsDynamic"));
    EXPECT_EQ(o().text(opt("lblWWWroot")), root);  // the unset placeholder follows the folder list
    o().setCheck(opt("chkProxy"), 1);
    EXPECT_TRUE(p().enabled("txtProxy"));
    o().select(opt("optIconsRemote"));
    EXPECT_FALSE(p().enabled("txtProxy"));
    o().select(opt("optIconsLocal"));
    o().setCheck(opt("chkProxy"), 0);
    EXPECT_FALSE(p().enabled("txtProxy"));
}

TEST_F(PanelRulesTest, OptionsPanelAndDaemonList) {
    engine.ToggleOptionsPanel();
    EXPECT_EQ(o().text(opt("lblOptions")), "Options <");
    EXPECT_EQ(p().clientHeight(), Panel::kLineBottom);
    engine.ToggleOptionsPanel();
    EXPECT_EQ(p().clientHeight(), Panel::kLineBase);
    EXPECT_EQ(o().editedMark(), "-");

    host.chosenFolder = "/srv/more";
    engine.cmdBrowseMoreWWW_Click();
    host.chosenFolder = "?";
    engine.cmdBrowseMoreWWW_Click();
    EXPECT_EQ(o().list(opt("lstDeamonMore")), std::vector<std::string>{"/srv/more"});
    o().setEditedMark("-");
    engine.cmdRemoveMoreWWW_Click(-1);  // nothing selected
    EXPECT_EQ(o().list(opt("lstDeamonMore")).size(), 1u);
    EXPECT_EQ(o().editedMark(), "*");
    engine.cmdRemoveMoreWWW_Click(0);
    EXPECT_TRUE(o().list(opt("lstDeamonMore")).empty());
}

TEST_F(PanelRulesTest, ExitQuestion) {
    EXPECT_TRUE(Form_Unload(engine));  // nothing changed: nothing asked
    EXPECT_TRUE(host.questions.empty());
    o().setCheck(opt("chkTable"), 0);
    host.answers = {Answer::Cancel};
    EXPECT_FALSE(Form_Unload(engine));
    EXPECT_EQ(host.questions.back(), "Tabulo: Save changes with exit? (to `default.color`)");
    EXPECT_EQ(o().check(opt("chkTable")), 0);
    host.answers = {Answer::No};
    EXPECT_TRUE(Form_Unload(engine));
    EXPECT_TRUE(host.statusLines.empty());
    host.answers = {Answer::Yes};
    EXPECT_TRUE(Form_Unload(engine));
    EXPECT_EQ(host.statusLines.back(), "Done saving : `default.color`");
    o().setCheck(opt("chkTable"), 1);
    o().setCheck(opt("chkAutoSave"), 1);
    EXPECT_TRUE(Form_Unload(engine));  // saved over the file without a question
    EXPECT_EQ(host.questions.size(), 3u);
}

}  // namespace
}  // namespace tabulo::test
