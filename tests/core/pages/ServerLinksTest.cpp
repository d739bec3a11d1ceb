// Rows linked for a web server: programs that read listings take a row from its link alone, so
// the link's text is the name in full and a folder's link ends in "/".
#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "common/Text.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class ServerLinksTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        set("chkReqrsive", "1");
        set("chkServerLinks", "1");
        set("chkReplaceOlda", "1");
        set("chkAlowExit", "1");
        set("chkLenght", "1");
        set("txtLenght", "3");  // cut names on the page: never in a link's text
        writeFile("site/Caf\xC3\xA9 & co/a b.txt", "x");
        writeFile("site/Caf\xC3\xA9 & co/deep/100%.txt", "y");
        writeFile("site/#hash?.txt", "z");
    }
    // Each "<a href=...>text</a>" of the page whose text is not a number (the footer's and
    // checksum links aside): href and text.
    std::vector<std::pair<std::string, std::string>> anchors(const std::string& page) const {
        std::vector<std::pair<std::string, std::string>> found;
        std::string text = readFile(path(page));
        const std::regex anchor("<a href=\"([^\"]*)\">([^<]*)</a>");
        for (std::sregex_iterator m(text.begin(), text.end(), anchor), end; m != end; ++m) {
            std::string href = (*m)[1];
            if (href.find("tabulo.example") == std::string::npos) found.emplace_back(href, (*m)[2]);
        }
        return found;
    }
};

TEST_F(ServerLinksTest, ClassicAndModernRowsLinkFoldersAndNamesAlone) {
    for (const char* style : {"optPageClassic", "optPageModern"}) {
        select(style);
        set("txtWWWroot", path("site"));
        go("site");
        using Anchors = std::vector<std::pair<std::string, std::string>>;
        auto top = anchors("site/index.html");
        const std::string cafe = "Caf\xC3\xA9";
        EXPECT_NE(std::find(top.begin(), top.end(),
                            Anchors::value_type{"Caf%C3%A9%20&amp;%20co/", cafe + " &amp; co"}),
                  top.end())
            << style;
        EXPECT_NE(std::find(top.begin(), top.end(),
                            Anchors::value_type{"%23hash%3F.txt", "#hash?.txt"}),
                  top.end())
            << style;
        auto inner = anchors("site/Caf\xC3\xA9 & co/index.html");
        EXPECT_NE(std::find(inner.begin(), inner.end(), Anchors::value_type{"../", ".."}),
                  inner.end())
            << style;
        EXPECT_NE(std::find(inner.begin(), inner.end(), Anchors::value_type{"deep/", "deep"}),
                  inner.end())
            << style;
        auto deep = anchors("site/Caf\xC3\xA9 & co/deep/index.html");
        EXPECT_NE(std::find(deep.begin(), deep.end(), Anchors::value_type{"100%25.txt", "100%.txt"}),
                  deep.end())
            << style;
        // No link leads to a page by its file name, nor by an absolute path.
        for (const auto& page : {top, inner, deep}) {
            for (const auto& [href, text] : page) {
                EXPECT_EQ(href.find("index.html"), std::string::npos) << style << " " << href;
                EXPECT_FALSE(href.starts_with("/")) << style << " " << href;
            }
        }
    }
}

// Crawlers find the checksums and the JSON listing from the page: linked when written only.
TEST_F(ServerLinksTest, TheFooterLinksTheChecksumsAndTheJsonListingWhenWritten) {
    for (const char* style : {"optPageClassic", "optPageModern"}) {
        select(style);
        set("chkColuHash", "0");
        set("chkJsonListing", "0");
        go("site");
        std::string page = readFile(path("site/index.html"));
        // (the files of the run before are rows of the page, as any file)
        EXPECT_FALSE(contains(page, "SHA-256 checksums")) << style;
        EXPECT_FALSE(contains(page, "JSON listing")) << style;
        set("chkColuHash", "1");
        set("chkJsonListing", "1");
        go("site");
        page = readFile(path("site/index.html"));
        EXPECT_TRUE(contains(page, "<a href=\"SHA256SUMS\">SHA-256 checksums</a>")) << style;
        EXPECT_TRUE(contains(page, "<a href=\"index.json\">JSON listing</a>")) << style;
        EXPECT_TRUE(fs::is_regular_file(path("site/SHA256SUMS"))) << style;
        EXPECT_TRUE(fs::is_regular_file(path("site/index.json"))) << style;
    }
}

TEST_F(ServerLinksTest, TheAllInOneModesKeepTheirOwnLinks) {
    set("chkColuHash", "1");
    set("chkJsonListing", "1");
    set("chkAllInOneFile", "1");
    set("txtWWWroot", path("site"));
    set("lblAllInOneFolder", path("site"));
    go("site");
    std::string page = readFile(path("site/index.html"));
    EXPECT_TRUE(contains(page, "href=\"#")) << page.substr(0, 2000);
    EXPECT_FALSE(contains(page, "href=\"Caf%C3%A9%20&amp;%20co/\""));
    EXPECT_FALSE(contains(page, "SHA-256 checksums"));
}

}  // namespace
}  // namespace tabulo::test
