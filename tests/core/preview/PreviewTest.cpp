#include <gtest/gtest.h>

#include <cstdlib>

#include "options/Options.h"
#include "preview/Preview.h"

namespace tabulo {
namespace {

TEST(PreviewTest, EmptySlots) {
    Options o;
    o.setColour(0, "");
    o.setColour(1, "");
    PreviewModel p = ComputePreview(o);
    EXPECT_FALSE(p.outerTable.opaque);  // slot 0 empty: transparent table
    o.setColour(1, "112233");
    p = ComputePreview(o);
    EXPECT_FALSE(p.outerTable.opaque);
    EXPECT_EQ(p.outerTable.back, 0x112233u);
    o.setColour(2, "");
    p = ComputePreview(o);
    EXPECT_EQ(p.files.back, 0x112233u);  // the table's background
    EXPECT_FALSE(p.properties.opaque);
    o.setColour(3, "");
    o.setColour(4, "");
    o.setColour(5, "");
    p = ComputePreview(o);
    EXPECT_EQ(p.outerTable.borderColour, 0x808080u);
    EXPECT_EQ(p.windows.borderColour, 0x808080u);
    EXPECT_FALSE(p.properties.patterned);
    EXPECT_EQ(p.files.fill, 0x0000FFu);
    o.setColour(5, "zz");  // malformed: white
    EXPECT_EQ(ComputePreview(o).files.fill, 0xFFFFFFu);
}

TEST(PreviewTest, BorderAndColourSwitch) {
    Options o;
    o.setText(opt("txtBorder"), "0");
    EXPECT_EQ(ComputePreview(o).outerTable.border, LineStyle::None);
    o.setText(opt("txtBorder"), "3");
    EXPECT_EQ(ComputePreview(o).outerTable.borderWidth, 3);
    o.setCheck(opt("chkBorder"), 0);
    EXPECT_EQ(ComputePreview(o).outerTable.borderWidth, 1);
    o.setCheck(opt("chkColor"), 0);
    PreviewModel p = ComputePreview(o);
    EXPECT_TRUE(p.page.opaque);
    EXPECT_FALSE(p.outerTable.opaque || p.properties.opaque || p.files.opaque);
    EXPECT_FALSE(p.files.patterned || p.properties.patterned);
}

TEST(PreviewTest, HugeSizesStayWithinThePreview) {
    Options o;
    o.setCheck(opt("chkIcons32"), 1);
    for (const char* typed : {"1e300", "-1e300", "1e400"}) {
        o.setText(opt("txtBorder"), typed);
        o.setText(opt("txtIcons32"), std::string(typed) + "x" + typed);
        PreviewModel p = ComputePreview(o);
        EXPECT_EQ(std::abs(p.outerTable.borderWidth), p.page.width) << typed;
        EXPECT_EQ(std::abs(p.iconDirs.width), p.page.width) << typed;
        EXPECT_EQ(std::abs(p.iconDirs.height), p.page.height) << typed;
    }
}

TEST(PreviewTest, MarksFollowTheirOptions) {
    Options o;
    for (auto name : {"chkWindowsStyle", "chkUpload", "chkCaptureSnap", "chkThumb", "chkIcons32"}) {
        o.setCheck(Options::find(name).value(), 1);
    }
    o.setCheck(opt("chkHeading"), 0);
    o.setCheck(opt("chkCaptureDesc"), 0);
    o.setText(opt("txtIcons32"), "32x16");
    PreviewModel p = ComputePreview(o);
    EXPECT_TRUE(p.windows.visible && p.upload1.visible && p.upload2.visible && p.pic.visible);
    EXPECT_TRUE(p.pic.opaque);  // the thumbnail is a small filled box
    EXPECT_FALSE(p.headingVisible);
    EXPECT_FALSE(p.desc.visible);
    EXPECT_EQ(p.iconDirs.width, 2 * p.iconDirs.height);
    EXPECT_EQ(p.iconFiles.width, p.iconDirs.width);
    o.setCheck(opt("chkBackground"), 1);
    EXPECT_GT(ComputePreview(o).pic.width, p.pic.width);
}

}  // namespace
}  // namespace tabulo
