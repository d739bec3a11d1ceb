// Whole pages compared byte for byte with text written out by hand.

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

// The five style rules with the default colours, font and border.
const std::string kRules = R"(body {background:#f0f0f0;}
table {border:1px solid #000001; background:#aaaaaa;}
td {border:1px solid black; font-family:Arial; font-size:12px; background:#aaaaaa; color:#000000;}
a {color:#0000ff;}
a:visited {color:#d000d0;}
)";

const std::string kDocType = R"(<!DOCTYPE HTML PUBLIC "-//W3C//DTD HTML 3.2 Final//EN">
<HTML><HEAD>
 <meta http-equiv="Content-Type" content="text/html; charset=utf-8">
)";

const std::string kStyle = "  <STYLE TYPE=\"Text/css\">\n" + kRules + "  </STYLE>\n";

// Head of a default page down to its heading; only for plain folder names.
std::string head(const std::string& title, const std::string& anchor) {
    return kDocType + " <meta name=\"DESCRIPTION\" content=\"Contents of the " + title +
           " Directory.\">\n" + " <meta name=\"KEYWORDS\" content=\"" + title +
           ", tabulo, tabul, indexing, sigulo, verified hashes, hash\">\n" +
           " <meta name=\"GENERATOR\" content=\"Tabulo v.42\">\n" + kStyle + " <title>" + title +
           "</title>\n</HEAD><BODY>\n<center>\n<a name=\"" + anchor + "\"></a>\n<h2>" + title +
           "</h2>\n";
}

const std::string kFoot =
    R"(  <p align="center"><i><font size="2">Genererated with <a href="http://tabulo.example.org/update.cgi?v=42&amp;s=default"> tabulo</a> by <a href="http://tabulo.example.org/">Quennel</a> on 12-06-2026.</font></i></p>
<a href="http://validator.w3.org/check/referer"><img border="0" src="http://www.w3.org/Icons/valid-html32" alt="Valid HTML 3.2!" height="31" width="88"></a><a href="http://jigsaw.w3.org/css-validator/check/referer"><img border="0" width="88" height="31" src="http://jigsaw.w3.org/css-validator/images/vcss" alt="Valid CSS!"></a>
</center>
</BODY></HTML>
)";

const std::string kTable = "<table border=\"1\" cellspacing=\"0\">\n";

// "@txt@" in an expected text stands for the icon tag of that type: the default local one
// with `up` before it, or the default remote one when `up` is "remote".
std::string icons(std::string text, const std::string& up) {
    for (std::size_t at; (at = text.find('@')) != std::string::npos;) {
        std::size_t end = text.find('@', at + 1);
        std::string type = text.substr(at + 1, end - at - 1);
        std::string src = up == "remote" ? "http://tabulo.example.org/pics/icons/ico.cgi?ico=" + type
                                         : up + "pics/icons/" + type + ".gif";
        text.replace(at, end - at + 1,
                     "<img height=\"16\" width=\"16\" border=\"0\"  alt=\"" + type +
                         "\" src=\"" + src + "\"> ");
    }
    return text;
}

class GoldenPageTest : public EngineTest {
  protected:
    void expectFile(const std::string& relative, const std::string& expected,
                    const std::string& up = "") {
        EXPECT_EQ(readFile(path(relative)), crlf(icons(expected, up))) << relative;
    }

    // top (t.txt), top/a (empty), top/a/b (x y.txt), with top as the www root.
    void makeTree() {
        writeFile("top/t.txt", "abc");
        writeFile("top/a/b/x y.txt", "0123456789");
        const std::string top = path("top");
        set("txtWWWroot", top);
        set("txtWWWRootDepth", std::to_string(std::count(top.begin(), top.end(), '/')));
        set("lblAllInOneFolder", top);
        set("chkColuTime", "0");
    }
};

TEST_F(GoldenPageTest, CurrentFolderPagesWithDefaults) {
    writeFile("top/a.txt");
    writeFile("top/b c#1.TXT", std::string(1536, 'b'));
    writeFile("top/desc.txt", "Welcome, \"to my, site\"\nSecond line\n");
    writeFile("top/sub/Song.MP3", std::string(2048, 'm'));
    setTime("top/a.txt", 1234567890);
    setTime("top/b c#1.TXT", 1700000000);
    setTime("top/sub/Song.MP3", 1000000000);
    go("top");

    expectFile("top/sub/index.html",
               head("sub", "index_of-sub.html") + kTable +
                   R"( <tr><td><a href="../index.html"><b>@dir@..</b></a></td><td>[dir up]</td></tr>
  <tr><td><a href="Song.MP3">@mp3@Song.MP3</a></td><td> 2 KBytes</td><td>Sun Sep  9 01:46:40 2001</td></tr>
</table>
)" + kFoot, "../");

    // The run wrote sub/index.html after its folder time was set, so the top page is written
    // again on its own once that time is fixed; replacing it asks first.
    setTime("top/sub", 1500000000);
    set("chkReqrsive", "0");
    host.answers.push_back(Answer::Yes);
    go("top");
    EXPECT_EQ(host.questions,
              std::vector<std::string>{"Tabulo: Overwrite '" + path("top/index.html") + "' ?"});

    expectFile(
        "top/index.html",
        head("top", "index.html") + R"(<tt>
Welcome
to my, site
Second line
</tt><br><br>
)" + kTable +
            R"( <tr><td><a href="sub/index.html"><b>@dir@sub</b></a></td><td>[dir]</td><td>Fri Jul 14 02:40:00 2017</td></tr>
  <tr><td><a href="a.txt">@txt@a.txt</a></td><td>0 Bytes</td><td>Fri Feb 13 23:31:30 2009</td></tr>
  <tr><td><a href="b%20c%231.TXT">@txt@b c#1.TXT</a></td><td>1.500 KBytes</td><td>Tue Nov 14 22:13:20 2023</td></tr>
</table>
)" + kFoot);
}

TEST_F(GoldenPageTest, AllInOneFileHasOneHeadThreeSectionsOneFooter) {
    select("optAllInOneFile");  // its rule copies the folder list into the www root: choose first
    select("optIconsRemote");
    makeTree();
    go("top");

    EXPECT_TRUE(host.questions.empty());
    expectFile("top/index.html",
               head("top", "index.html") + kTable +
                   R"( <tr><td><a href="#index_of-a.html"><b>@dir@a</b></a></td><td>[dir]</td></tr>
  <tr><td><a href="t.txt">@txt@t.txt</a></td><td> 3 Bytes</td></tr>
</table>
<a name="index_of-a.html"></a>
<h2>a</h2>
)" + kTable + R"( <tr><td><a href="#index.html"><b>@dir@..</b></a></td><td>[dir up]</td></tr>
 <tr><td><a href="#index_of-a_per_b.html"><b>@dir@b</b></a></td><td>[dir]</td></tr>
</table>
<a name="index_of-a_per_b.html"></a>
<h2>b</h2>
)" + kTable + R"( <tr><td><a href="#index_of-a.html"><b>@dir@..</b></a></td><td>[dir up]</td></tr>
  <tr><td><a href="a/b/x%20y.txt">@txt@x y.txt</a></td><td> 10 Bytes</td></tr>
</table>
)" + kFoot, "remote");
}

TEST_F(GoldenPageTest, AllInOneFolderWritesFlatPages) {
    select("optAllInOneFolder");
    makeTree();
    go("top");

    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(path("top"))) {
        if (entry.path().extension() == ".html") written.push_back(entry.path().filename());
    }
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written,
              (std::vector<std::string>{"index.html", "index_of-a.html", "index_of-a_per_b.html"}));

    expectFile("top/index.html",
               head("top", "index.html") + kTable +
                   R"( <tr><td><a href="index_of-a.html"><b>@dir@a</b></a></td><td>[dir]</td></tr>
  <tr><td><a href="t.txt">@txt@t.txt</a></td><td> 3 Bytes</td></tr>
</table>
)" + kFoot);
    expectFile("top/index_of-a.html",
               head("a", "index_of-a.html") + kTable +
                   R"( <tr><td><a href="index.html"><b>@dir@..</b></a></td><td>[dir up]</td></tr>
 <tr><td><a href="index_of-a_per_b.html"><b>@dir@b</b></a></td><td>[dir]</td></tr>
</table>
)" + kFoot);
    expectFile(
        "top/index_of-a_per_b.html",
        head("b", "index_of-a_per_b.html") + kTable +
            R"( <tr><td><a href="index_of-a.html"><b>@dir@..</b></a></td><td>[dir up]</td></tr>
  <tr><td><a href="a/b/x%20y.txt">@txt@x y.txt</a></td><td> 10 Bytes</td></tr>
</table>
)" + kFoot);
}

TEST_F(GoldenPageTest, PlainLinesWithTotalsAndLinkedStylesheet) {
    writeFile("top/R&D notes.txt", std::string(100, 'r'));
    writeFile("top/x.gif", std::string(512, 'g'));
    writeFile("top/\xC3\xA9l\xC3\xA9phant.txt", std::string(2560, 'e'));
    makeFolder("top/documents");
    setTime("top/R&D notes.txt", 1234567890);
    setTime("top/x.gif", 1700000000);
    setTime("top/\xC3\xA9l\xC3\xA9phant.txt", 1000000000);
    setTime("top/documents", 1500000000);
    for (const char* on : {"chkSumSize", "chkColuDesc", "chkLenght", "chkMetaStyle"}) set(on, "1");
    for (const char* off : {"chkTable", "chkW3c", "chkCenter", "chkReqrsive"}) set(off, "0");
    set("txtLenght", "5");
    select("optCssNew");
    go("top");

    // Names are cut to five characters before escaping; a cut never splits a character.
    expectFile("top/index.html",
               R"(<HTML><HEAD>
 <link rel="stylesheet" href="index.css">
 <title>top</title>
</HEAD><BODY>
<a name="index.html"></a>
<h2>top</h2>
 <a href="documents/index.html"><b>@dir@docum...</b></a> [dir]  Fri Jul 14 02:40:00 2017  Directory <br>
   <a href="R&amp;D%20notes.txt">@txt@R&amp;D n...</a>   100 Bytes  Fri Feb 13 23:31:30 2009  txt File <br>
   <a href="x.gif">@gif@x.gif</a>   512 Bytes  Tue Nov 14 22:13:20 2023  gif File <br>
   <a href="%C3%A9l%C3%A9phant.txt">@txt@)"
               "\xE9l\xE9ph"
               R"(...</a>  2.500 KBytes  Sun Sep  9 01:46:40 2001  txt File <br>
<tr>Server Total: 3.097 KBytesTotal: 3.097 KBytes</tr>
  <p><i><font size="2">Genererated with <a href="http://tabulo.example.org/update.cgi?v=42&amp;s=default"> tabulo</a> by <a href="http://tabulo.example.org/">Quennel</a> on 12-06-2026.</font></i></p>
</BODY></HTML>
)");
    expectFile("top/index.css", kRules);
}

TEST_F(GoldenPageTest, HostileAndForeignNamesAreEscaped) {
    const std::string dir = "Q&A \"<1>\"";
    for (const char* name : {"<script>alert(1).txt", "a\"b.txt", "100%.txt", "a?b.txt",
                             "javascript:x", "Tom & Jerry.txt", "caf\xC3\xA9.txt",
                             "\xE6\x97\xA5\xE6\x9C\xAC.txt", "\xE9t\xE9.txt", ".secret.txt",
                             "no\xC2\xA0"
                             "break.txt"}) {
        writeFile(dir + "/" + name);
    }
    makeFolder(dir + "/.git");
    set("chkColuTime", "0");
    set("chkIcons", "0");
    go(dir);

    // Each row once, wherever it stands: the order of names outside ASCII is left open.
    const std::vector<std::string> rows = {
        R"(<a href="&lt;script&gt;alert(1).txt">&lt;script&gt;alert(1).txt</a>)",
        R"(<a href="a&quot;b.txt">a"b.txt</a>)",
        R"(<a href="100%25.txt">100%.txt</a>)",
        R"(<a href="a%3Fb.txt">a?b.txt</a>)",
        R"(<a href="javascript%3Ax">javascript:x</a>)",
        R"(<a href="Tom%20&amp;%20Jerry.txt">Tom &amp; Jerry.txt</a>)",
        // The page is UTF-8, as it says; a name that is not (windows-1252 on disk) is shown
        // as read and linked by its own bytes.
        "<a href=\"caf%C3%A9.txt\">caf\xC3\xA9.txt</a>",
        "<a href=\"%E6%97%A5%E6%9C%AC.txt\">\xE6\x97\xA5\xE6\x9C\xAC.txt</a>",
        "<a href=\"%E9t%E9.txt\">\xC3\xA9t\xC3\xA9.txt</a>",
        "<a href=\"no%C2%A0break.txt\">no\xC2\xA0"
        "break.txt</a>",
    };
    std::string page = readFile(path(dir + "/index.html"));
    for (const std::string& link : rows) {
        const std::string row = "\r\n  <tr><td>" + link + "</td><td>0 Bytes</td></tr>\r\n";
        std::size_t at = page.find(row);
        EXPECT_NE(at, std::string::npos) << row;
        if (at != std::string::npos) page.erase(at + 2, row.size() - 2);
    }
    // The folder name is text in the title and heading, an attribute value in the metas.
    const std::string metas =
        R"( <meta name="DESCRIPTION" content="Contents of the Q&amp;A &quot;&lt;1&gt;&quot; Directory.">
 <meta name="KEYWORDS" content="Q&amp;A &quot;&lt;1&gt;&quot;, tabulo, tabul, indexing, sigulo, verified hashes, hash">
 <meta name="GENERATOR" content="Tabulo v.42">
)";
    const std::string title = R"( <title>Q&amp;A "&lt;1&gt;"</title>
</HEAD><BODY>
<center>
)";
    // Without a www root the selected folder is the root: its anchor is the plain page name.
    const std::string anchor = "<a name=\"index.html\"></a>\n";
    const std::string heading = "<h2>Q&amp;A \"&lt;1&gt;\"</h2>\n";
    EXPECT_EQ(page, crlf(kDocType + metas + kStyle + title + anchor + heading + kTable +
                         "</table>\n" + kFoot));
    EXPECT_FALSE(fs::exists(path(dir + "/.git/index.html")));
}

}  // namespace
}  // namespace tabulo::test
