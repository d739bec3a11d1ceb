#include <filesystem>
#include <fstream>

#include "common/Text.h"
#include "pages/ModernPage.h"
#include "themes/Themes.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class ShippedThemesTest : public FolderTest {
  protected:
    std::string theme() const { return readFile(home() + "/modern.color"); }
    void put(const std::string& name, const std::string& text) {
        std::ofstream(home() + "/" + name, std::ios::binary) << text;
    }
    // The modern theme as the first version shipped it.
    static std::string firstModern() {
        Options o;
        o.select(opt("optPageModern"));
        o.select(opt("optName"));
        return ThemeText(o, "modern");
    }
    // The second version: the program's own files left out of the list.
    static std::string secondModern() {
        Options o;
        o.select(opt("optPageModern"));
        o.select(opt("optName"));
        o.setText(opt("txtExclude"),
                  "index.html; index.json; index.css; index.cgi; upload.cgi; index_of-*; "
                  "MD5SUMS; SHA256SUMS; desc.txt; snap.gif; *.tmp; *.bak;\r\n");
        return ThemeText(o, "modern");
    }
    // Colours of its own came with the third.
    static constexpr const char* kThirdColours =
        "txtColorHex=&f7f7f7&e8e8e8&ffffff&8c8c8c&1a1a1a&0645ad&6b3fa0&f0f0f0&f0f0f0";
};

TEST_F(ShippedThemesTest, ANewerVersionReplacesOnlyAThemeNobodyChanged) {
    fs::create_directories(home());
    // Installed by the first version, untouched: brought up to date once.
    put("shipped-themes", "modern\n");
    put("modern.color", firstModern());
    InstallShippedThemes();
    EXPECT_TRUE(contains(theme(), "txtExclude.Text=index.html; index.json;")) << theme();
    EXPECT_TRUE(contains(theme(), kThirdColours)) << theme();
    EXPECT_EQ(readFile(home() + "/shipped-themes"), "modern\nmodern 4\nserver\n");

    // Changed by its user: kept as it is.
    std::string edited = replaceAll(firstModern(), "chkIcons.Value=1", "chkIcons.Value=0");
    ASSERT_NE(edited, firstModern());
    put("shipped-themes", "modern\n");
    put("modern.color", edited);
    InstallShippedThemes();
    EXPECT_EQ(theme(), edited);

    // Deleted by its user: stays deleted, and is not asked about again.
    put("shipped-themes", "modern\n");
    fs::remove(home() + "/modern.color");
    InstallShippedThemes();
    InstallShippedThemes();
    EXPECT_FALSE(fs::exists(home() + "/modern.color"));
    EXPECT_EQ(readFile(home() + "/shipped-themes"), "modern\nmodern 4\nserver\n");
}

// The second version, untouched, takes the third's colours; changed, or already the third,
// it is left alone.
TEST_F(ShippedThemesTest, TheSecondVersionTakesTheNewColoursOnlyWhenUntouched) {
    fs::create_directories(home());
    put("shipped-themes", "modern\nmodern 2\n");
    put("modern.color", secondModern());
    InstallShippedThemes();
    EXPECT_TRUE(contains(theme(), kThirdColours)) << theme();
    EXPECT_TRUE(contains(theme(), "txtExclude.Text=index.html; index.json;")) << theme();
    EXPECT_EQ(readFile(home() + "/shipped-themes"), "modern\nmodern 2\nmodern 4\nserver\n");

    // The third is installed: the user's later change of a colour stays.
    std::string mine = replaceAll(theme(), "0645ad", "0000ff");
    put("modern.color", mine);
    InstallShippedThemes();
    EXPECT_EQ(theme(), mine);

    // A second version whose user picked other colours keeps them.
    std::string edited = replaceAll(secondModern(), "f0f0f0&aaaaaa", "ffffff&aaaaaa");
    ASSERT_NE(edited, secondModern());
    put("shipped-themes", "modern\nmodern 2\n");
    put("modern.color", edited);
    InstallShippedThemes();
    EXPECT_EQ(theme(), edited);
    EXPECT_EQ(readFile(home() + "/shipped-themes"), "modern\nmodern 2\nmodern 4\nserver\n");
}

// The third version, untouched, takes the fourth's search of the whole site; changed, it is
// left alone.
TEST_F(ShippedThemesTest, TheThirdVersionTakesTheSearchOnlyWhenUntouched) {
    fs::create_directories(home());
    std::string third = replaceAll(secondModern(), "txtColorHex=&f0f0f0&aaaaaa&aaaaaa&000001&000000&0000ff&d000d0",
                                   "txtColorHex=&f7f7f7&e8e8e8&ffffff&8c8c8c&1a1a1a&0645ad&6b3fa0");
    ASSERT_TRUE(contains(third, kThirdColours)) << third;
    put("shipped-themes", "modern 3\n");
    put("modern.color", third);
    InstallShippedThemes();
    EXPECT_TRUE(contains(theme(), "chkSearchIndex.Value=1")) << theme();
    EXPECT_EQ(readFile(home() + "/shipped-themes"), "modern 3\nmodern 4\nserver\n");

    std::string edited = replaceAll(third, "chkIcons.Value=1", "chkIcons.Value=0");
    put("shipped-themes", "modern 3\n");
    put("modern.color", edited);
    InstallShippedThemes();
    EXPECT_EQ(theme(), edited);
}

// A fresh home gets the newest version at once, whose pages read well in light and dark.
TEST_F(ShippedThemesTest, AFreshHomeGetsTheNewestVersion) {
    fs::create_directories(home());
    InstallShippedThemes();
    EXPECT_TRUE(contains(theme(), kThirdColours)) << theme();
    EXPECT_EQ(readFile(home() + "/shipped-themes"), "modern 4\nserver\n");
    struct Quiet : ThemeLoadEffects {
        void status(std::string) override {}
        void error(std::string) override {}
        bool statusShowsError() const override { return false; }
        void wwwRootFound(const std::string&) override {}
        void toggleOptionsPanel() override {}
    } quiet;
    Options loaded;
    ApplyThemeLines(loaded, theme(), quiet);
    EXPECT_TRUE(loaded.selected(opt("optPageModern")));
    EXPECT_EQ(ModernContrastNote(loaded), "");
}

}  // namespace
}  // namespace tabulo::test
