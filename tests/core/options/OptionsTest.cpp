#include <gtest/gtest.h>

#include "options/Options.h"

namespace tabulo {
namespace {

TEST(OptionsTest, ByNameInStoredForm) {
    Options o;
    auto id = Options::find("chkLenght");
    ASSERT_TRUE(id);
    EXPECT_EQ(o.valueText(*id), "1");
    // A hand-edited 2 is kept, but is not "on".
    EXPECT_TRUE(o.setValueText(*id, "2"));
    EXPECT_EQ(o.check(*id), 2);
    EXPECT_FALSE(o.on(*id));
    EXPECT_FALSE(o.setValueText(*id, "yes"));
    EXPECT_FALSE(Options::find("chkLength"));
    EXPECT_FALSE(o.setValueText(opt("optFileSize"), "6"));
    EXPECT_TRUE(o.setValueText(opt("optCssNew"), "TRUE"));
    EXPECT_EQ(o.valueText(opt("optCssEmbed")), "False");
    EXPECT_TRUE(o.setValueText(opt("txtColorHex"), "1&2&3&4&5&6&7&8&9"));
    EXPECT_EQ(o.colour(8), "9");
    EXPECT_FALSE(o.setValueText(opt("txtColorHex"), "1&2"));
}

TEST(OptionsTest, GroupsKeepOneSelectedMember) {
    Options o;
    o.select(opt("optFileSize"), 2);
    EXPECT_FALSE(o.selected(opt("optAuto")));
    EXPECT_TRUE(o.selected(opt("optFileSize"), 2));
    o.select(opt("optAuto"));
    EXPECT_EQ(o.selectedIndex(opt("optFileSize")), -1);
    o.select(opt("optProtocolCustom"));
    EXPECT_EQ(o.selectedIndex(opt("optProtocol")), -1);
    EXPECT_TRUE(o.selected(opt("optCgi")));  // other groups untouched
}

TEST(OptionsTest, LayoutChoiceDrivesTheAllInOneSwitches) {
    Options o;
    auto switches = [&] {
        return std::pair(o.check(opt("chkAllInOneFile")), o.check(opt("chkAllInOneFolder")));
    };
    o.select(opt("optAllInOneFile"));
    EXPECT_EQ(switches(), std::pair(1, 0));
    o.select(opt("optAllInOneFolder"));  // straight from one to the other
    EXPECT_EQ(switches(), std::pair(0, 1));
    o.select(opt("optAllInOneFile"));
    EXPECT_EQ(switches(), std::pair(1, 0));
    o.deselect(opt("optAllInOneFolder"));  // not the chosen one: nothing changes
    EXPECT_EQ(switches(), std::pair(1, 0));
    o.deselect(opt("optAllInOneFile"));  // none chosen: pages in their own folders
    EXPECT_EQ(switches(), std::pair(0, 0));
}

TEST(OptionsTest, OnlyRealChangesNotify) {
    Options o;
    std::vector<std::string> seen;
    int token = o.subscribe([&](OptionId id, int index) {
        seen.push_back(std::string(Options::def(id).name) +
                       (index >= 0 ? std::to_string(index) : ""));
    });
    o.setCheck(opt("chkTable"), 1);  // unchanged
    o.setCheck(opt("chkTable"), 0);
    o.select(opt("optCssEmbed"));  // already selected
    o.select(opt("optAllInOneFile"));
    o.setColour(4, "123456");
    // The mirrors change (and notify) before the option that set them.
    EXPECT_EQ(seen, (std::vector<std::string>{"chkTable", "chkAllInOneFile", "optAllInOneFile",
                                              "txtColorHex4"}));
    o.unsubscribe(token);
    o.setCheck(opt("chkTable"), 1);
    EXPECT_EQ(seen.size(), 4u);
}

}  // namespace
}  // namespace tabulo
