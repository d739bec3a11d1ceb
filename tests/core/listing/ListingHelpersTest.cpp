#include <gtest/gtest.h>

#include <cmath>

#include "listing/ListingHelpers.h"
#include "pages/PageText.h"
#include "listing/Wildcard.h"

namespace tabulo {
namespace {

TEST(FormatFileSizeTest, AutomaticUnit) {
    Options o;
    EXPECT_EQ(FormatFileSize(o, 0), "0 Bytes");
    EXPECT_EQ(FormatFileSize(o, 0.5), "0 Bytes");
    EXPECT_EQ(FormatFileSize(o, 500), " 500 Bytes");
    EXPECT_EQ(FormatFileSize(o, 1023), " 1023 Bytes");
    EXPECT_EQ(FormatFileSize(o, 1024), " 1 KBytes");
    EXPECT_EQ(FormatFileSize(o, 1025), "1.000 KBytes");
    EXPECT_EQ(FormatFileSize(o, 1500), "1.464 KBytes");
    EXPECT_EQ(FormatFileSize(o, 1536), "1.500 KBytes");
    EXPECT_EQ(FormatFileSize(o, 12288), " 12 KBytes");
    EXPECT_EQ(FormatFileSize(o, std::pow(1024.0, 6)), " 1024 PBytes");
}

TEST(FormatFileSizeTest, FixedUnit) {
    Options o;
    o.select(opt("optFileSize"), 1);
    EXPECT_EQ(FormatFileSize(o, 100), "0.097 KBytes");
    EXPECT_EQ(FormatFileSize(o, 0.5), "0 KBytes");
    EXPECT_EQ(FormatFileSize(o, 2048), " 2 KBytes");
    o.select(opt("optFileSize"), 0);
    EXPECT_EQ(FormatFileSize(o, 0), "0 Bytes");
    o.deselect(opt("optFileSize"));
    o.deselect(opt("optAuto"));
    EXPECT_EQ(FormatFileSize(o, 100), "");
}

TEST(URLEncodeTest, LightAndFullEscaping) {
    Options o;
    EXPECT_EQ(URLEncode(o, "my file#1.txt"), "my%20file%231.txt");
    EXPECT_EQ(URLEncode(o, "100%"), "100%");
    EXPECT_EQ(URLEncode(o, ""), "");
    o.setCheck(opt("chkUtf"), 1);
    EXPECT_EQ(URLEncode(o, "a+b,c"), "a%2Bb%2Cc");
    EXPECT_EQ(URLEncode(o, "../x y/"), "../x%20y/");
    EXPECT_EQ(URLEncode(o, "\t%\\"), "%09%25%5C");
    EXPECT_EQ(URLEncode(o, "caf\xC3\xA9"), "caf%E9");      // windows-1252 code
    EXPECT_EQ(URLEncode(o, "\xE2\x82\xAC"), "%80");        // the euro sign
    EXPECT_EQ(URLEncode(o, "\xE6\x97\xA5"), "%E6%97%A5");  // none there: UTF-8 bytes
    EXPECT_EQ(URLEncode(o, "\x01\x80\xC3"), "%01%80%C3");  // small codes; stray bytes
    o.setCheck(opt("chkUtf"), 0);
    EXPECT_EQ(URLEncode(o, "\x01\xFF"), "\x01\xFF");  // the light form encodes "#" and " " only
}

TEST(NameLinkTest, NamesNeverBecomeAddresses) {
    EXPECT_EQ(encodeNameForLink("100%.txt", false), "100%25.txt");
    EXPECT_EQ(encodeNameForLink("%41.txt", false), "%2541.txt");
    EXPECT_EQ(encodeNameForLink("a?b.txt", false), "a%3Fb.txt");
    EXPECT_EQ(encodeNameForLink("javascript:x", false), "javascript%3Ax");
    EXPECT_EQ(encodeNameForLink("my file#1", false), "my%20file%231");
    EXPECT_EQ(encodeNameForLink("a\"b&<c>", false), "a&quot;b&amp;&lt;c&gt;");
    EXPECT_EQ(encodeNameForLink("caf\xC3\xA9", false), "caf%C3%A9");
    EXPECT_EQ(encodeNameForLink("\xE9t\xE9", false), "%E9t%E9");  // not UTF-8: its own bytes
    EXPECT_EQ(encodeNameForLink("a\nb", false), "a%0Ab");
    EXPECT_EQ(encodeNameForLink("a\\b", false), "a%5Cb");  // browsers read a backslash as "/"
    EXPECT_EQ(encodeNameForLink("a:b?c%d+e", true), "a%3Ab%3Fc%25d%2Be");
    EXPECT_EQ(encodeNameForLink("a/b", true), "a/b");
}

TEST(NameTextTest, EscapingAndCutting) {
    EXPECT_EQ(escapeText("<b>\"x\" & y"), "&lt;b&gt;\"x\" &amp; y");
    EXPECT_EQ(escapeAttribute("a\"b"), "a&quot;b");
    EXPECT_EQ(cutName("documents", 5), "docum...");
    EXPECT_EQ(cutName("docum", 5), "docum");
    EXPECT_EQ(cutName("\xC3\xA9t\xC3\xA9s", 2), "\xC3\xA9t...");  // characters, not bytes
    EXPECT_EQ(cutName("abc", 0), "...");
}

TEST(FlatPageNameTest, Defaults) {
    Options o;
    EXPECT_EQ(FlatPageName(o, ""), "index.html");
    EXPECT_EQ(FlatPageName(o, "a/my docs/"), "index_of-a_per_my_docs.html");
    EXPECT_EQ(FlatPageName(o, "\\a\\my docs"), "index_of-a_per_my_docs.html");
    EXPECT_EQ(FlatPageName(o, "caf\xC3\xA9/"), "index_of-caf_.html");  // one character, one "_"
}

TEST(FlatPageNameTest, SeparatorOutsideTheKeptSet) {
    Options o;
    o.setText(opt("txtReplaceIndexs"), ".");
    // The "." becomes "_", so the unfiltered separator no longer matches at either end.
    EXPECT_EQ(FlatPageName(o, "/a/b/"), "index_of-_a_b_.html");
}

TEST(FileTypeOfTest, LastExtensionInLowerCase) {
    EXPECT_EQ(FileTypeOf("Report.PDF"), "pdf");
    EXPECT_EQ(FileTypeOf("archive.tar.gz"), "gz");
    EXPECT_EQ(FileTypeOf(".profile"), "profile");
    EXPECT_EQ(FileTypeOf("README"), "unknown");
    EXPECT_EQ(FileTypeOf("name."), "unknown");
}

TEST(IsExcludedTest, Patterns) {
    Options o;
    EXPECT_TRUE(IsExcluded(o, "index.html"));
    EXPECT_TRUE(IsExcluded(o, "desc.txt"));
    EXPECT_TRUE(IsExcluded(o, "x.tmp"));
    EXPECT_FALSE(IsExcluded(o, "x.TMP"));
    EXPECT_FALSE(IsExcluded(o, "readme.txt"));
    EXPECT_FALSE(IsExcluded(o, ""));  // the empty pattern after the last ";" is one line break
    o.setText(opt("txtExclude"), "*.tmp;\r\n secret* ;\r\n");  // one pattern per line
    EXPECT_TRUE(IsExcluded(o, "secret.txt"));
    EXPECT_TRUE(IsExcluded(o, "x.tmp"));
    EXPECT_FALSE(IsExcluded(o, ""));
    o.setText(opt("txtExclude"), "*");
    EXPECT_TRUE(IsExcluded(o, "anything"));
    o.setText(opt("txtExclude"), "*.TMP");
    EXPECT_FALSE(IsExcluded(o, "x.tmp"));
}

TEST(CountPathSeparatorsTest, Depth) {
    EXPECT_EQ(CountPathSeparators("/srv/www/a"), 3);
    EXPECT_EQ(CountPathSeparators("/"), 1);
    EXPECT_EQ(CountPathSeparators(""), 0);
}

TEST(WildcardTest, DesktopRules) {
    EXPECT_TRUE(Wildcard("*.*").matches("README"));
    EXPECT_TRUE(Wildcard("").matches("x"));
    Wildcard w("*.txt; a?c");
    EXPECT_TRUE(w.matches("notes.TXT"));
    EXPECT_TRUE(w.matches("abc"));
    EXPECT_FALSE(w.matches("abbc"));
    EXPECT_FALSE(w.matches("notes.txt.bak"));
    EXPECT_TRUE(Wildcard("caf\xC3\x89*").matches("caf\xC3\xA9.txt"));  // É matches é
    EXPECT_TRUE(Wildcard("?").matches("\xC3\xA9"));                    // one character
    EXPECT_TRUE(Wildcard("*.txt").matches("*a.txt"));  // a star in the name is a character
}

}  // namespace
}  // namespace tabulo
