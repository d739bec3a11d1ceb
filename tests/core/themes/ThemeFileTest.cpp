#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "common/Text.h"
#include "options/Options.h"
#include "support/Fixture.h"
#include "themes/Themes.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

// Records what a theme's lines ask of the window; no engine, no panel rules.
struct RecordedEffects : ThemeLoadEffects {
    void status(std::string text) override { lines.push_back(std::move(text)); }
    void detail(std::string text) override {
        details.push_back(text);
        lines.push_back(std::move(text));
    }
    void error(std::string text) override {
        lines.push_back(std::move(text));
        showsError = true;
    }
    bool statusShowsError() const override { return showsError; }
    void wwwRootFound(const std::string& folder) override { roots.push_back(folder); }
    void toggleOptionsPanel() override { ++toggles; }

    std::vector<std::string> lines;
    std::vector<std::string> details;  // shown only to whoever wants every step
    std::vector<std::string> roots;
    bool showsError = false;
    int toggles = 0;
};

class ThemeFileTest : public FolderTest {
  protected:
    void apply(const std::string& text) { ApplyThemeLines(options, text, effects); }

    Options options;
    RecordedEffects effects;
};

TEST_F(ThemeFileTest, LinesAskTheWindowOnlyForWhatTheyMove) {
    makeFolder("www");
    apply("[text panel]\ntxtWWWroot.Text=" + path("www") + "\nlblOptions.Caption=>");
    EXPECT_EQ(effects.lines, std::vector<std::string>{"Loading Section : `[text panel]`"});
    EXPECT_EQ(effects.details, effects.lines);
    EXPECT_EQ(effects.roots, std::vector<std::string>{path("www")});
    EXPECT_EQ(effects.toggles, 1);
    EXPECT_EQ(options.text(opt("lblOptions")), "Options >");

    // An empty root moves nothing; a missing one is an error, after which sections are quiet.
    apply("txtWWWroot.Text=\ntxtWWWroot.Text=" + path("gone") + "\n[files panel]");
    EXPECT_EQ(effects.roots.size(), 1u);
    EXPECT_EQ(effects.lines.back(), "Error: The `" + path("gone") + "` does not exist.");
    EXPECT_EQ(effects.details.size(), 1u);
    EXPECT_EQ(options.text(opt("txtWWWroot")), path("gone"));
    EXPECT_EQ(effects.toggles, 1);
}

TEST_F(ThemeFileTest, NewerOptionsStayOutOfOlderLines) {
    // Lines are found by their key anywhere in them: no key may hold another.
    const OptionId firstNewer = opt("txtColorHex") + 1;
    for (OptionId n = firstNewer; n < kOptionTable.size(); ++n) {
        if (!kOptionTable[n].stored) continue;
        for (OptionId old = 0; old < firstNewer; ++old) {
            if (!kOptionTable[old].stored) continue;
            EXPECT_FALSE(contains(ThemeKey(n), ThemeKey(old))) << ThemeKey(n);
            EXPECT_FALSE(contains(ThemeKey(old), ThemeKey(n))) << ThemeKey(n);
        }
    }
    // They follow every older line, so an older file is a prefix of a newer one's lines, and
    // loading an older file leaves them as they were.
    std::string text = ThemeText(options, "x");
    EXPECT_GT(text.find("\r\n\r\n[page style]\r\noptPageClassic.Value=True"), text.find("txtColorHex="));
    options.select(opt("optPageModern"));
    options.setCheck(opt("chkJsonListing"), 1);
    apply(text.substr(0, text.find("\r\n\r\n[page style]")));
    EXPECT_TRUE(options.selected(opt("optPageModern")));
    EXPECT_TRUE(options.on(opt("chkJsonListing")));
    apply(text);
    EXPECT_TRUE(options.selected(opt("optPageClassic")));
    EXPECT_FALSE(options.on(opt("chkJsonListing")));
}

TEST_F(ThemeFileTest, FormatAloneRoundTrips) {
    options.setText(opt("txtHeader"), "<b>head</b>\r\n\r\nline 3\r\n");
    options.setText(opt("txtComment"), "txtFont.Text=not a key here");
    options.appendList(opt("lstDeamonMore"), "/srv/a");
    options.appendList(opt("lstDeamonMore"), "");
    options.deselect(opt("optProtocol"));
    options.setColour(8, "abcdef");
    options.setText(opt("lblOptions"), "Options <");
    Options loaded;
    RecordedEffects seen;
    ApplyThemeLines(loaded, ThemeText(options, "t"), seen);
    for (OptionId id = 0; id < kOptionTable.size(); ++id) {
        if (!Options::def(id).stored || id == opt("chkView") || id == opt("lblOptions")) continue;
        EXPECT_EQ(loaded.valueText(id), options.valueText(id)) << Options::def(id).name;
    }
    // The opposite of what shows is stored: the window's toggle on loading turns it back.
    EXPECT_EQ(loaded.text(opt("lblOptions")), "Options >");
    EXPECT_EQ(seen.toggles, 1);
    EXPECT_TRUE(seen.roots.empty());
}

// Editors save CR LF, LF alone or CR alone: an empty line inside a multi-line value is text
// whichever it is; only the one before a section head belongs to the layout.
TEST_F(ThemeFileTest, EmptyLinesInsideAValueWhateverTheLineEnds) {
    for (std::string end : {"\r\n", "\n", "\r"}) {
        const std::string shown = end == "\n" ? "LF" : end == "\r" ? "CR" : "CR LF";
        apply("txtHeader.Text=one" + end + end + "three" + end + end + end + "six" + end +
              "txtFooter.Text=" + end + "second" + end + "txtExclude.Text=*.tmp" + end + end + end +
              "[misc panel]" + end + "chkUpload.Value=1");
        EXPECT_EQ(options.text(opt("txtHeader")), "one\r\n\r\nthree\r\n\r\n\r\nsix") << shown;
        EXPECT_EQ(options.text(opt("txtFooter")), "\r\nsecond") << shown;
        EXPECT_EQ(options.text(opt("txtExclude")), "*.tmp\r\n") << shown;
        EXPECT_EQ(options.check(opt("chkUpload")), 1) << shown;
        options.setCheck(opt("chkUpload"), 0);
    }
}

TEST_F(ThemeFileTest, FilesKeepTheirTextInEitherEncoding) {
    WriteThemeFile("plain", "txtAboutNick.Text=Jos\xC3\xA9");
    WriteThemeFile("wide", "txtAboutNick.Text=\xE6\x97\xA5");
    EXPECT_EQ(readFile(ThemePath("plain")), "txtAboutNick.Text=Jos\xE9");  // windows-1252
    EXPECT_EQ(readFile(ThemePath("wide")), "txtAboutNick.Text=\xE6\x97\xA5");
    std::error_code ec;
    EXPECT_EQ(ReadThemeFile("plain", ec), "txtAboutNick.Text=Jos\xC3\xA9");
    std::ofstream(ThemePath("marked"), std::ios::binary) << "\xEF\xBB\xBFx=\xC3\xA9";
    EXPECT_EQ(ReadThemeFile("marked", ec), "x=\xC3\xA9");
    EXPECT_FALSE(ec);
}

TEST_F(ThemeFileTest, OnlyRegularFilesAreReadAndMissingOnesDeleteQuietly) {
    std::error_code ec;
    EXPECT_EQ(ReadThemeFile("none", ec), std::nullopt);
    EXPECT_TRUE(ec);
    ASSERT_EQ(::mkfifo(ThemePath("pipe").c_str(), 0644), 0);
    ec.clear();
    EXPECT_EQ(ReadThemeFile("pipe", ec), std::nullopt);  // never opened, so it cannot hang
    EXPECT_FALSE(ec);

    EXPECT_FALSE(DeleteThemeFile("none"));
    EXPECT_FALSE(DeleteThemeFile("pipe"));
    EXPECT_FALSE(fs::exists(ThemePath("pipe")));
    fs::create_directories(ThemePath("folder") + "/inside");
    EXPECT_TRUE(DeleteThemeFile("folder"));
    EXPECT_TRUE(fs::is_directory(ThemePath("folder")));
}

}  // namespace
}  // namespace tabulo::test
