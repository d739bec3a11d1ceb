#include <gtest/gtest.h>

#include <regex>

#include "common/Encoding.h"
#include "common/Text.h"
#include "pages/Markdown.h"

namespace tabulo {
namespace {

// Every href and src value of the fragment, as written.
std::vector<std::string> addresses(const std::string& html, const char* attribute) {
    std::vector<std::string> found;
    std::regex re(std::string(attribute) + "=\"([^\"]*)\"");
    for (std::sregex_iterator it(html.begin(), html.end(), re), end; it != end; ++it) {
        found.push_back((*it)[1]);
    }
    return found;
}

TEST(MarkdownTest, HostileReadmeComesOutInert) {
    std::string html = RenderMarkdown(
        "# Title\n\n"
        "<script>alert(1)</script>\n\n"
        "Text <img src=x onerror=alert(1)> more <b onclick=x>bold</b>\n\n"
        "- [a](javascript:alert(1))\n"
        "- [b](JaVaScRiPt:alert(1))\n"
        "- [c]( javascript:alert(1))\n"
        "- [d](&#106;avascript:alert(1))\n"
        "- [e](data:text/html;base64,xx)\n"
        "- [e2](data:image/png;base64,xx)\n"
        "- [v](VBScript:x) [w](file:///etc/passwd) [x](<java\tscript:x>)\n"
        "- [y](&#x01;javascript:x) [z](<javascript:auto>)\n"
        "- ![j](javascript:alert(1)) ![k](data:image/png;base64,xx)\n\n"
        "![f](https://example.org/x.png \"remote\") ![g](//example.org/x.png)\n"
        "![](HTTP://example.org/y.png) ![back](\\\\\\\\example.org/z.png) "
        "![mixed](</\t\\\\example.org>)\n"
        "![h](pics/local.png) [i](sub/file.txt)\n\n"
        "    <script>code</script>\n");
    std::string lower = asciiLower(html);
    EXPECT_FALSE(contains(lower, "<script")) << html;
    EXPECT_FALSE(contains(lower, "onerror")) << html;
    EXPECT_FALSE(contains(lower, "onclick")) << html;
    EXPECT_FALSE(contains(lower, "<img src=\"http")) << html;
    EXPECT_FALSE(contains(lower, "src=\"//")) << html;
    for (const char* attribute : {"href", "src"}) {
        for (const auto& url : addresses(lower, attribute)) {
            for (const char* scheme : {"javascript", "vbscript", "file:", "data:", "script:"}) {
                EXPECT_FALSE(contains(url, scheme)) << attribute << "=" << url;
            }
        }
    }
    EXPECT_EQ(addresses(html, "src"), std::vector<std::string>{"pics/local.png"});
    EXPECT_TRUE(contains(html, "<img src=\"pics/local.png\" alt=\"h\" />")) << html;
    EXPECT_TRUE(contains(html, "<a href=\"sub/file.txt\">i</a>")) << html;
    // Images from elsewhere are links named by their alt text, or by the address without one.
    EXPECT_TRUE(contains(html, "<a href=\"https://example.org/x.png\" title=\"remote\">f</a>"));
    EXPECT_TRUE(contains(html, "<a href=\"//example.org/x.png\">g</a>"));
    EXPECT_TRUE(contains(html, ">HTTP://example.org/y.png</a>"));
    EXPECT_TRUE(contains(html, "<li>a</li>")) << html;  // the text stays, the link goes
    EXPECT_TRUE(contains(html, "<li>j k</li>")) << html;
    EXPECT_TRUE(contains(html, "<h1>Title</h1>"));
    EXPECT_TRUE(contains(html, "<pre><code>&lt;script&gt;code&lt;/script&gt;\n</code></pre>"));
}

TEST(MarkdownTest, ImagesInsideLinksAndAltText) {
    // A badge: the remote picture inside a link becomes that link's text, never a nested link.
    EXPECT_EQ(RenderMarkdown("[![build *ok*](https://ci.example/b.svg)](https://ci.example)"),
              "<p><a href=\"https://ci.example\">build ok</a></p>\n");
    EXPECT_EQ(RenderMarkdown("[![logo](logo.png)](https://example.org)"),
              "<p><a href=\"https://example.org\"><img src=\"logo.png\" alt=\"logo\" /></a></p>\n");
    // An image in another's alt text, and a dangerous link around an image.
    EXPECT_EQ(RenderMarkdown("![a ![b](http://x/b.png) c](http://x/a.png)"),
              "<p><a href=\"http://x/a.png\">a b c</a></p>\n");
    EXPECT_EQ(RenderMarkdown("[![p](//x/p.png)](javascript:x)"),
              "<p><a href=\"//x/p.png\">p</a></p>\n");
}

TEST(MarkdownTest, OrdinaryMarkdownAndEncodings) {
    EXPECT_EQ(RenderMarkdown("## Notes\n\n1. one\n2. \"two\" & 'three'\n\n```sh\nls -l\n```\n"),
              "<h2>Notes</h2>\n<ol>\n<li>one</li>\n<li>&quot;two&quot; &amp; 'three'</li>\n"
              "</ol>\n<pre><code class=\"language-sh\">ls -l\n</code></pre>\n");
    EXPECT_EQ(RenderMarkdown(""), "");
    // windows-1252 text, and bytes no encoding explains, still give valid UTF-8.
    EXPECT_EQ(RenderMarkdown("caf\xE9 \x80"), "<p>caf\xC3\xA9 \xE2\x82\xAC</p>\n");
    for (const auto& bad :
         std::vector<std::string>{"\xC3", "a\xC0\xAF", "\xED\xA0\x80", std::string("x\0y", 3),
                                  "&#xD800; &#0; &#x110000;"}) {
        EXPECT_TRUE(isValidUtf8(RenderMarkdown(bad))) << bad;
    }
}

}  // namespace
}  // namespace tabulo
