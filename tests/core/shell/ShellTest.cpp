#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "common/Text.h"
#include "options/Options.h"
#include "shell/Shell.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class ShellTest : public FolderTest {
  protected:
    void SetUp() override {
        FolderTest::SetUp();
        if (const char* before = std::getenv("XDG_DATA_HOME")) savedDataHome = before;
        ::setenv("XDG_DATA_HOME", path("data").c_str(), 1);
    }
    void TearDown() override {
        if (savedDataHome) {
            ::setenv("XDG_DATA_HOME", savedDataHome->c_str(), 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
        FolderTest::TearDown();
    }
    std::string script() const { return path("data/nautilus/scripts/Indexilize"); }

    std::optional<std::string> savedDataHome;
    RecordingSink sink;
};

TEST_F(ShellTest, RegistersOnceUntilTheMarkerGoes) {
    RegisterContextMenu(sink, "/opt/it's/tabulo");
    EXPECT_EQ(sink.lines, (std::vector<std::string>{"Registering context menu.",
                                                    "Finshed registering context menu."}));
    EXPECT_TRUE(sink.errors.empty());
    EXPECT_EQ(fs::status(script()).permissions() & fs::perms::all, fs::perms(0755));
    // The quote in the path cannot end the shell word early.
    EXPECT_TRUE(contains(readFile(script()), "'/opt/it'\\''s/tabulo' \"\\\"$folder\\\"-view\" &"));
    EXPECT_TRUE(contains(readFile(path("data/kio/servicemenus/tabulo-indexilize.desktop")),
                         "Exec=\"" + script() + "\" %f\n"));

    RegisterContextMenu(sink, "/opt/other");
    EXPECT_EQ(sink.lines.size(), 2u);
    fs::remove(home() + "/indexilize.marker");
    RegisterContextMenu(sink, "/opt/other");
    EXPECT_EQ(sink.lines.size(), 4u);
    EXPECT_TRUE(contains(readFile(script()), "'/opt/other'"));
}

TEST_F(ShellTest, AFailureIsAnErrorAndLeavesNoMarker) {
    writeFile("data/nautilus", "a file where a folder belongs");
    RegisterContextMenu(sink, "/opt/tabulo");
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_TRUE(sink.errors[0].starts_with("Error registering context menu: "));
    EXPECT_FALSE(fs::exists(home() + "/indexilize.marker"));
}

TEST_F(ShellTest, AllInOneFolderChooserStartsAtAFolderThatExists) {
    Options o;
    ScriptedHost host;
    o.setText(opt("lblAllInOneFolder"), path("gone"));
    host.chosenFolder = "?";
    ChooseAllInOneFolder(o, host, root);
    EXPECT_EQ(host.chooserStarts, std::vector<std::string>{root});
    EXPECT_EQ(o.text(opt("lblAllInOneFolder")), "");  // a missing folder is dropped
    EXPECT_EQ(o.editedMark(), "*");

    host.chosenFolder = makeFolder("out");
    ChooseAllInOneFolder(o, host, root);
    EXPECT_EQ(o.text(opt("lblAllInOneFolder")), path("out"));
    EXPECT_EQ(o.text(opt("lblWWWroot")), path("out"));
    host.chosenFolder.reset();
    ChooseAllInOneFolder(o, host, root);
    EXPECT_EQ(host.chooserStarts.back(), path("out"));
    EXPECT_EQ(o.text(opt("lblAllInOneFolder")), path("out"));
}

}  // namespace
}  // namespace tabulo::test
