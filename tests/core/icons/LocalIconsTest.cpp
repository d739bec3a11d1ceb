#include <cstdlib>
#include <filesystem>
#include <regex>

#include "common/Text.h"
#include "icons/LocalIcons.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

// A small icon set of its own, so the test knows exactly what is shipped.
class LocalIconsTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        shipped = path("shipped");
        for (const char* name : {"dir", "unknown", "unknown32", "txt", "txt32"}) {
            writeFile(std::string("shipped/icons/") + name + ".gif", std::string("GIF89a ") + name);
        }
        ::setenv("TABULO_DATA", shipped.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TABULO_DATA");
        EngineTest::TearDown();
    }
    // Every icon address of every page, resolved from the page's folder.
    std::vector<fs::path> iconSources() {
        std::vector<fs::path> out;
        const std::regex src("src=\"([^\"]*)\"");
        for (const auto& e : fs::recursive_directory_iterator(path("site"))) {
            if (e.path().filename() != "index.html") continue;
            std::string page = readFile(e.path());
            for (std::sregex_iterator m(page.begin(), page.end(), src), end; m != end; ++m) {
                std::string s = (*m)[1];
                if (s.starts_with("http")) continue;  // the validator badges
                out.push_back(e.path().parent_path() / replaceAll(s, "%20", " "));
            }
        }
        return out;
    }
    std::string shipped;
};

TEST_F(LocalIconsTest, EveryIconOfEveryPageResolvesOffline) {
    writeFile("site/a.txt");
    writeFile("site/sub/deeper/b.TXT");
    writeFile("site/sub/odd.qqq");
    writeFile("site/sub/no-type");
    set("chkW3c", "0");
    go("site");
    auto sources = iconSources();
    ASSERT_GE(sources.size(), 6u);
    for (const auto& s : sources) EXPECT_TRUE(fs::is_regular_file(s)) << s;
    EXPECT_EQ(readFile(path("site/pics/icons/txt.gif")), "GIF89a txt");
    EXPECT_EQ(readFile(path("site/pics/icons/qqq.gif")), "GIF89a unknown");  // none shipped
    EXPECT_FALSE(host.sawError());

    // Large icons take the large set; an icon the site has is kept as it is.
    writeFile("site/pics/icons/txt.gif", "mine");
    set("chkIcons32", "1");
    go("site");
    EXPECT_EQ(readFile(path("site/pics/icons/txt32.gif")), "GIF89a txt32");
    EXPECT_EQ(readFile(path("site/pics/icons/dir32.gif")), "GIF89a unknown32");
    EXPECT_EQ(readFile(path("site/pics/icons/txt.gif")), "mine");
    for (const auto& s : iconSources()) EXPECT_TRUE(fs::is_regular_file(s)) << s;
}

TEST_F(LocalIconsTest, IconsStayInsideTheTree) {
    writeFile("site/a.txt");
    makeFolder("elsewhere");
    fs::create_directory_symlink(path("elsewhere"), path("site/pics"));
    go("site");
    EXPECT_TRUE(fs::is_empty(path("elsewhere")));
    EXPECT_EQ(host.statusLines.back(), "Done");
}

TEST(IconService, OnlyRealHostsAreAsked) {
    for (const char* placeholder :
         {"http://tabulo.example.org/pics/icons/ico.cgi?ico=#", "http://EXAMPLE.com./#.gif",
          "http://a.example/#", "http://x.test:8080/#", "https://user@host.invalid/#", "#.gif",
          "http:///#"}) {
        EXPECT_FALSE(IsRealIconService(placeholder)) << placeholder;
    }
    for (const char* real : {"http://127.0.0.1:8080/#.gif", "http://icons.example.net.eu/#",
                             "http://[::1]:80/#", "http://myexample.org/#"}) {
        EXPECT_TRUE(IsRealIconService(real)) << real;
    }
}

}  // namespace
}  // namespace tabulo::test
