#include "icons/IconOptions.h"
#include "options/Panel.h"
#include "support/Fixture.h"

namespace tabulo::test {
namespace {

class IconOptionsTest : public EngineTest {
  protected:
    Options& o() { return engine.options(); }
    std::string attributes() { return o().text(opt("lblIconsWidth")); }
};

TEST_F(IconOptionsTest, SizeTextGivesTheAttributes) {
    o().setCheck(opt("chkIcons32"), 1);
    EXPECT_EQ(attributes(), "width=\"32\" height=\"32\" border=\"0\" ");
    EXPECT_TRUE(engine.panel().enabled("scrIconsSize"));
    o().setText(opt("txtIcons32"), "48x");
    EXPECT_EQ(attributes(), "width=\"48\" border=\"0\" ");
    o().setText(opt("txtIcons32"), "x20");
    EXPECT_EQ(attributes(), "height=\"20\" border=\"0\" ");
    o().setText(opt("txtIcons32"), "x");
    EXPECT_EQ(attributes(), "border=\"0\" ");
    o().setText(opt("txtIcons32"), " 12.5 x 7 px");
    EXPECT_EQ(attributes(), "width=\"12.5\" height=\"7\" border=\"0\" ");
    o().setText(opt("txtIcons32"), "32X32");  // a capital X is no separator
    EXPECT_EQ(o().text(opt("txtIcons32")), "32X32x");
    EXPECT_EQ(attributes(), "width=\"32\" border=\"0\" ");
    o().setCheck(opt("chkIcons32"), 0);
    EXPECT_EQ(attributes(), "height=\"16\" width=\"16\" border=\"0\" ");
    EXPECT_FALSE(engine.panel().enabled("txtIcons32"));
}

TEST_F(IconOptionsTest, SliderGivesSquareSizes) {
    o().setCheck(opt("chkIcons32"), 1);
    for (auto [position, size] :
         std::vector<std::pair<int, std::string>>{{1, "256x256"}, {32, "8x8"}, {29, "32x32"}}) {
        o().setCheck(opt("scrIconsSize"), position);
        EXPECT_EQ(o().text(opt("txtIcons32")), size);
    }
    EXPECT_EQ(o().editedMark(), "*");
}

TEST_F(IconOptionsTest, LargeFormSurvivesRebuilds) {
    o().setCheck(opt("chkIcons32"), 1);
    o().setText(opt("txtIcons32"), "64x64");
    o().setText(opt("txtIcons32"), "48x48");
    EXPECT_EQ(o().text(opt("txtIconsLocal")), "pics/icons/#32.gif");
    EXPECT_TRUE(o().text(opt("txtIcohref")).ends_with("ico.cgi?ico=#32"));
    o().setCheck(opt("chkIconsDynamic"), 0);
    EXPECT_TRUE(o().text(opt("txtIcohref")).ends_with("pics/icons/#32.gif"));
    o().setCheck(opt("chkIcons32"), 0);
    EXPECT_EQ(o().text(opt("txtIconsLocal")), "pics/icons/#.gif");
    EXPECT_TRUE(o().text(opt("txtIcohref")).ends_with("pics/icons/#.gif"));
    o().setCheck(opt("chkIconsDynamic"), 1);
    EXPECT_TRUE(o().text(opt("txtIcohref")).ends_with("pics/icons/ico.cgi?ico=#"));
}

// The rules alone, on options no panel rule watches.
TEST(IconOptionRules, WorkOnBareOptions) {
    Options o;
    Panel panel;
    int refreshes = 0;
    o.setCheck(opt("chkIcons32"), 1);
    o.setText(opt("txtIcons32"), "24x16");
    BuildIconSizeAttributes(o, panel, [&] { ++refreshes; });
    EXPECT_EQ(o.text(opt("lblIconsWidth")), "width=\"24\" height=\"16\" border=\"0\" ");
    EXPECT_EQ(o.text(opt("txtIconsLocal")), "pics/icons/#32.gif");
    EXPECT_TRUE(panel.enabled("txtIcons32"));
    EXPECT_EQ(refreshes, 1);

    o.setText(opt("lblWWWroot"), "?");
    o.select(opt("optIconsRemote"));
    LocalIconRootFromFolderList(o, "/srv/www");  // remote icons: the placeholder stays
    EXPECT_EQ(o.text(opt("lblWWWroot")), "?");
    o.select(opt("optIconsLocal"));
    LocalIconRootFromFolderList(o, "/srv/www");
    EXPECT_EQ(o.text(opt("lblWWWroot")), "/srv/www");
    LocalIconRootFromFolderList(o, "/elsewhere");  // a real root is kept
    EXPECT_EQ(o.text(opt("lblWWWroot")), "/srv/www");
}

TEST_F(IconOptionsTest, LocalIconFolderIsChosenUnderTheWwwRoot) {
    o().setText(opt("lblWWWroot"), path("www"));
    writeFile("www/pics/gifs/a.gif");
    host.chosenFolder = path("www/pics/gifs");
    engine.cmdBrowseIconPath_Click();
    EXPECT_EQ(o().text(opt("txtIconsLocal")), "pics/gifs/#.gif");
    host.chosenFolder = "/elsewhere";
    engine.cmdBrowseIconPath_Click();
    EXPECT_EQ(host.questions.back(), "Tabulo: Selected path is outside wwwroot!");
    EXPECT_EQ(o().text(opt("txtIconsLocal")), "pics/gifs/#.gif");
    host.chosenFolder.reset();
    engine.cmdBrowseIconPath_Click();
    EXPECT_EQ(o().text(opt("txtIconsLocal")), "pics/gifs/#.gif");
}

TEST_F(IconOptionsTest, LocalIconsClimbToTheWwwRoot) {
    writeFile("a/b/x.txt");
    o().select(opt("optIconsLocal"));
    set("chkReplaceOlda", "1");
    set("chkIconsDownloaded", "0");
    go();
    EXPECT_NE(readFile(path("a/b/index.html")).find("src=\"../../pics/icons/txt.gif\""),
              std::string::npos);
    EXPECT_NE(readFile(path("index.html")).find("src=\"pics/icons/dir.gif\""), std::string::npos);
}

}  // namespace
}  // namespace tabulo::test
