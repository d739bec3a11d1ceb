#include "common/Paths.h"

#include <gtest/gtest.h>

namespace tabulo {
namespace {

TEST(PathsTest, OneSpellingPerFolderAndInsideMeansBelowASeparator) {
    // Depths and flat names are counted on these spellings: a "." or a doubled "/" would
    // count a level that is not there.
    for (auto [typed, spelled] : std::vector<std::pair<const char*, const char*>>{
             {"/srv/www/", "/srv/www"},
             {"/srv/./www/.", "/srv/www"},
             {"/srv//www///a", "/srv/www/a"},
             {"./site/./a/", "site/a"},
             {"/", "/"},
             {"//", "/"},
             {"/.", "/"},
             {".", "."},
             {"./", "."},
             {"a/../b", "a/../b"},  // ".." is the file system's to resolve
         }) {
        EXPECT_EQ(normalFolder(typed), spelled) << typed;
    }
    EXPECT_TRUE(isInside("/x/site", "/x/site"));
    EXPECT_TRUE(isInside("/x/site/a", "/x/site"));
    EXPECT_TRUE(isInside("/x/site/a", "/"));
    EXPECT_FALSE(isInside("/x/site2", "/x/site"));
    EXPECT_FALSE(isInside("/x/sit", "/x/site"));
    EXPECT_FALSE(isInside("/x", "/x/site"));
}

}  // namespace
}  // namespace tabulo
