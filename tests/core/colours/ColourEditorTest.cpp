#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "colours/ColourEditor.h"
#include "common/Text.h"
#include "support/Fixture.h"
#include "commands/ThemeCommands.h"

namespace tabulo::test {
namespace {

class ColourEditorTest : public EngineTest {
  protected:
    Options& o() { return engine.options(); }
    const ColourEditor& ed() { return engine.colours(); }
    void type(int slot, const std::string& text) { o().setColour(slot, text); }
};

TEST_F(ColourEditorTest, FieldsPaintThemselves) {
    EXPECT_TRUE(IsHexColor("ff00ffzz"));
    EXPECT_FALSE(IsHexColor("00000"));
    EXPECT_FALSE(IsHexColor("12345g"));
    for (auto [text, background, ink] :
         std::vector<std::tuple<std::string, Rgb, Rgb>>{{"646464", 0x646464, kBlack},
                                                        {"636464", 0x636464, kWhite},
                                                        {"FFFFFF", 0xFFFFFF, kBlack},
                                                        {"000000", 0x000000, kWhite},
                                                        {"ff00ffzz", 0xFF00FF, kBlack},
                                                        {"00000", kWhite, kBlack}}) {
        type(4, text);
        EXPECT_EQ(ed().field(4).background, background) << text;
        EXPECT_EQ(ed().field(4).text, ink) << text;
    }
}

TEST_F(ColourEditorTest, MalformedSlotLeavesTheSliders) {
    engine.SelectColorSlot(4);
    type(4, "102030");
    EXPECT_EQ(o().check(opt("scrR")), 255 - 0x10);
    type(4, "00000");
    EXPECT_EQ(o().check(opt("scrR")), 255 - 0x10);
    EXPECT_EQ(o().colour(4), "00000");
}

TEST_F(ColourEditorTest, SlidersWriteTheCurrentSlot) {
    type(2, "1a2b3c");
    engine.SelectColorSlot(2);
    EXPECT_EQ(o().editedMark(), "*");
    EXPECT_EQ(o().check(opt("scrG")), 255 - 0x2b);
    o().setCheck(opt("scrR"), 0);
    EXPECT_EQ(o().colour(2), "ff2b3c");
    EXPECT_EQ(ed().label(0).caption, " 255");
    EXPECT_EQ(ed().label(0).background, 0xFF0000u);
    type(2, "1a2b3c");
    o().setCheck(opt("scrB"), 255);
    EXPECT_EQ(o().colour(2), "1a2b00");
    EXPECT_EQ(ed().label(2).text, kWhite);  // slider value above 128
    type(2, "abc");
    o().setCheck(opt("scrG"), 0);
    EXPECT_EQ(o().colour(2), "abff");  // what the text lacks stays absent
}

TEST_F(ColourEditorTest, BrightnessShiftsTheComponentsThatCan) {
    type(3, "ff8000");
    engine.SelectColorSlot(3);
    o().setCheck(opt("scrBrightness"), 12010);
    EXPECT_EQ(o().colour(3), "f57600");
    EXPECT_EQ(o().check(opt("scrB")), 255);
    type(3, "0a0509");  // sliders at 245, 250 and 246
    o().setCheck(opt("scrBrightness"), 12020);
    EXPECT_EQ(o().colour(3), "000509");  // red reaches 255; the others would pass it
    EXPECT_EQ(o().check(opt("scrR")), 255);
}

TEST_F(ColourEditorTest, SlidersEndAtTheirLastPosition) {
    type(0, "123456");
    engine.SelectColorSlot(0);
    set("scrR", "255");
    EXPECT_EQ(o().colour(0), "003456");
    EXPECT_EQ(ed().label(0).caption, " 0");
    EXPECT_FALSE(o().setValueText(opt("scrR"), "256"));
    o().setCheck(opt("scrG"), 256);  // a bar never goes past its end
    EXPECT_EQ(o().check(opt("scrG")), 255);
    EXPECT_EQ(o().colour(0), "000056");
    set("scrFontSize", "99");
    EXPECT_EQ(o().text(opt("txtFontSize")), " 1");
    EXPECT_FALSE(o().setValueText(opt("scrFontSize"), "100"));
    EXPECT_FALSE(o().setValueText(opt("scrIconsSize"), "33"));
    EXPECT_FALSE(o().setValueText(opt("scrBrightness"), "32768"));
    EXPECT_TRUE(o().setValueText(opt("scrBrightness"), "32767"));
}

TEST_F(ColourEditorTest, ColourDialog) {
    engine.SelectColorSlot(6);
    host.chosenColor = 0x030201;  // red 1, green 2, blue 3
    engine.cmdBrowseColor_Click();
    EXPECT_EQ(o().colour(6), "010203");
    host.chosenColor.reset();  // cancelled
    engine.cmdBrowseColor_Click();
    EXPECT_EQ(o().colour(6), "010203");
    EXPECT_EQ(host.offeredColor, 0x030201u);  // the dialog opens at the slot's colour
}

TEST_F(ColourEditorTest, FontCompanions) {
    o().setCheck(opt("scrFontSize"), 90);
    EXPECT_EQ(o().text(opt("txtFontSize")), " 10");
    host.chosenFont = Host::Font{"Courier New", 10.5f};
    engine.cmdBrowseFont_Click();
    EXPECT_EQ(o().text(opt("txtFontSize")), " 10.5");
    EXPECT_EQ(o().text(opt("txtFont")), "Courier New");
    host.chosenFont.reset();
    engine.cmdBrowseFont_Click();
    EXPECT_EQ(o().text(opt("txtFont")), "Courier New");
    EXPECT_EQ(StrNumber(-2.25f), "-2.25");
    EXPECT_EQ(StrNumber(1e10f), " 10000000000");
    // Any typed size reaches the dialog as a size a font can have.
    for (auto [typed, offered] : std::vector<std::pair<const char*, float>>{
             {"12.5", 12.5f}, {"1e300", 1638}, {"1e400", 1638}, {"-1e300", 0}}) {
        o().setText(opt("txtFontSize"), typed);
        engine.cmdBrowseFont_Click();
        EXPECT_EQ(host.offeredFont.size, offered) << typed;
    }
}

TEST_F(ColourEditorTest, RandomSchemeInvariants) {
    std::set<std::string> tables;
    for (unsigned seed = 1; seed <= 300; ++seed) {
        engine.setColourRandomSource([seed] {
            auto state = std::make_shared<std::mt19937>(seed);
            return [state] { return std::uniform_real_distribution<double>(0.0, 1.0)(*state); };
        });
        type(4, "123456");
        engine.GenerateRandomScheme();
        const std::string page = o().colour(0), table = o().colour(1);
        ASSERT_TRUE(IsHexColor(page) && IsHexColor(table));
        EXPECT_EQ(page, asciiLower(page));
        EXPECT_EQ(o().colour(2), table);
        EXPECT_EQ(o().colour(3), "000000");
        EXPECT_EQ(o().colour(4), "123456");
        Rgb p = SlotColour(page), t = SlotColour(table);
        int e = static_cast<int>(p >> 16) - static_cast<int>(t >> 16);
        EXPECT_GE(e, 50);
        EXPECT_LE(e, 103);
        EXPECT_EQ(static_cast<int>((p >> 8) & 0xFF) - static_cast<int>((t >> 8) & 0xFF), e);
        EXPECT_EQ(static_cast<int>(p & 0xFF) - static_cast<int>(t & 0xFF), e);
        EXPECT_EQ(ed().field(0).text, kBlack);
        tables.insert(table);
    }
    EXPECT_GT(tables.size(), 250u);
    // A replaced source that leaves [0, 1) still gives colours.
    engine.setColourRandomSource([] { return [] { return 1e300; }; });
    engine.GenerateRandomScheme();
    EXPECT_EQ(o().colour(1), "959595");
    EXPECT_EQ(o().colour(0), "fcfcfc");
}

// The editor alone: the preview refresh and the mixer's place are what it asks of others.
TEST(ColourEditorAlone, RefreshesOnlyWhereThePageLookChanged) {
    Options o;
    Panel panel;
    ScriptedHost host;
    int refreshes = 0;
    ColourEditor editor(o, panel, host, [&] { ++refreshes; });
    o.setColour(5, "0a0b0c");
    editor.SelectColorSlot(5);
    EXPECT_EQ(o.check(opt("scrB")), 255 - 0x0c);
    EXPECT_EQ(panel.mixerTop(), ColourEditor::kTabsTop + ColourEditor::kPanelTop +
                                    ColourEditor::kFieldTop + 5 * ColourEditor::kFieldPitch -
                                    2 * ColourEditor::kFieldHeight);
    EXPECT_EQ(refreshes, 0);
    editor.RefreshColorField(5);
    editor.GenerateRandomScheme();
    EXPECT_EQ(refreshes, 2);
    host.chosenColor.reset();
    editor.cmdBrowseColor_Click();  // cancelled: nothing changes, nothing refreshes
    EXPECT_EQ(o.colour(5), "0a0b0c");
    EXPECT_EQ(refreshes, 2);
}

TEST_F(ColourEditorTest, ThemeLoadRepaintsAndEndsUnedited) {
    engine.options().setText(opt("cmbSheme"), "t");
    std::ofstream(std::filesystem::path(root).parent_path() / "home/t.color")
        << "txtColorHex=&102030&aaaaaa&aaaaaa&&000000&&d000d0&f0f0f0&f0f0f0";
    unsigned before = engine.previewVersion();
    cmdLoad_Click(engine);
    EXPECT_EQ(ed().field(0).background, 0x102030u);
    EXPECT_EQ(ed().field(3).background, kWhite);
    EXPECT_GT(engine.previewVersion(), before);
    EXPECT_EQ(engine.preview().outerTable.borderColour, 0x808080u);
    EXPECT_EQ(o().editedMark(), "-");
}

}  // namespace
}  // namespace tabulo::test
