#include <filesystem>
#include <fstream>

#include "common/Text.h"
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
};

TEST_F(ShippedThemesTest, ANewerVersionReplacesOnlyAThemeNobodyChanged) {
    fs::create_directories(home());
    // Installed by the first version, untouched: brought up to date once.
    put("shipped-themes", "modern\n");
    put("modern.color", firstModern());
    InstallShippedThemes();
    EXPECT_TRUE(contains(theme(), "txtExclude.Text=index.html; index.json;")) << theme();
    EXPECT_EQ(readFile(home() + "/shipped-themes"), "modern\nmodern 2\n");

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
    EXPECT_EQ(readFile(home() + "/shipped-themes"), "modern\nmodern 2\n");
}

}  // namespace
}  // namespace tabulo::test
