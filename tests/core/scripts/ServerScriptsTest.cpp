#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/Text.h"
#include "generator/Driver.h"
#include "generator/ListingHelpers.h"
#include "support/Fixture.h"
#include "support/LocalServers.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

// Runs a shell command and gives what it printed on stdout.
std::string output(const std::string& command, int* status = nullptr) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        int rc = ::pclose(p);
        if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    return out;
}

class ServerScriptsTest : public EngineTest {
  protected:
    // Scripts for a folder, with the www root depth an index run of that folder leaves unless
    // a test set one.
    std::string makeScripts(const std::string& relative, bool asAfterARun = true) {
        engine.setCurrentFolder(makeFolder(relative));
        if (asAfterARun) engine.run().rootDepth = WwwRootDepth(engine);
        engine.cmdMakeScript_Click();
        return path(relative);
    }
    std::string expected(const std::string& name) {
        return crlf(readFile(TABULO_TEST_DATA "/scripts/" + name));
    }
    void expectPerlCompiles(const std::string& file) {
        int status = -1;
        output("perl -c '" + file + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << file;
    }
};

TEST_F(ServerScriptsTest, DefaultScriptsByteForByte) {
    std::string folder = makeScripts("site");
    EXPECT_EQ(readFile(folder + "/index.cgi"), expected("default-index.cgi"));
    EXPECT_EQ(readFile(folder + "/upload.cgi"), expected("default-upload.cgi"));
    EXPECT_EQ(host.statusLines,
              (std::vector<std::string>{"Writing scripts for `" + folder + "` ...",
                                        "Done writing scripts for `" + folder + "` ..."}));
    expectPerlCompiles(folder + "/index.cgi");
    expectPerlCompiles(folder + "/upload.cgi");
}

TEST_F(ServerScriptsTest, SecondSetOfOptions) {
    for (const char* off : {"chkCss", "chkHeading", "chkCenter", "chkBorder", "chkCellSpace",
                            "chkAboutGenWith", "chkAboutDate"}) {
        set(off, "0");
    }
    set("chkCgiFilter", "1");
    set("txtFilter", "*.txt; a?c; R&D *");
    set("txtIndexScript", "list.cgi");
    set("txtUploadDirectory", "in box");
    set("txtAboutLink", "mailto:me@example.org");
    set("txtAboutNick", "Jo \"Q\"");
    select("optIconsLocal");
    set("chkIcons32", "1");
    set("txtIcons32", "24x");
    engine.run().rootDepth = CountPathSeparators(root);  // the last run's www root: two levels up
    std::string folder = makeScripts("a/b", false);
    EXPECT_EQ(readFile(folder + "/list.cgi"), expected("second-index.cgi"));
    expectPerlCompiles(folder + "/list.cgi");
    expectPerlCompiles(folder + "/upload.cgi");

    select("optPhp");
    makeScripts("a/b", false);
    EXPECT_EQ(readFile(folder + "/list.php"),
              crlf("<? print \"php indexing code not implemented yet\";\n"
                   "print \"<br>Please visit <a href='http://tabulo.example.org/"
                   "update.cgi'> tabulo</a> for updates.\"; ?>\n"));
    EXPECT_TRUE(readFile(folder + "/upload.php")
                    .ends_with("if ($upload!=\"\" ){print \"$upload\";} ?>\r\n"));
}

TEST_F(ServerScriptsTest, UpPrefixFollowsTheWwwRoot) {
    set("txtWWWroot", root);
    engine.run().rootDepth = CountPathSeparators(root);
    for (auto [folder, link] :
         std::vector<std::pair<std::string, std::string>>{{"", "href=\\\"index.css\\\""},
                                                          {"a", "href=\\\"index.css\\\""},
                                                          {"a/b", "href=\\\"../index.css\\\""}}) {
        engine.setCurrentFolder(folder.empty() ? root : makeFolder(folder));
        engine.cmdMakeScript_Click();
        EXPECT_TRUE(contains(readFile(engine.currentFolder() + "/index.cgi"), link)) << folder;
    }
}

TEST_F(ServerScriptsTest, UnwritableTargetIsAnError) {
    makeFolder("site/index.cgi");
    makeScripts("site");
    EXPECT_TRUE(host.statusLines.back().starts_with("Error writing script `" +
                                                    path("site/index.cgi") + "`"));
}

TEST_F(ServerScriptsTest, ListingEscapesHostileNames) {
    std::string folder = makeScripts("site");
    for (const char* name :
         {"a b.txt", "<i>x<.txt", "Tom & Jerry", "q\"uote.pdf", "caf\xC3\xA9.txt", ".hidden"}) {
        writeFile(std::string("site/upload/") + name);
    }
    std::string html = output("cd '" + folder + "' && perl index.cgi");
    EXPECT_TRUE(
        contains(html,
                 "<a href=\"upload/%3Ci%3Ex%3C.txt\"><img height=\"16\" width=\"16\" border=\"0\"  "
                 "alt=\"txt\" src=\"http://tabulo.example.org/pics/icons/ico.cgi?ico=txt\"> "
                 "&lt;i&gt;x&lt;.txt</a></td><td>&lt;i&gt;x&lt;.txt</td>"));
    EXPECT_TRUE(contains(html, "href=\"upload/Tom%20%26%20Jerry\""));
    EXPECT_TRUE(contains(html, "<td>q&quot;uote.pdf</td>"));
    EXPECT_TRUE(contains(html, "href=\"upload/caf%C3%A9.txt\""));
    EXPECT_TRUE(contains(html, "<td>.hidden</td>"));  // the listing shows what is stored
    EXPECT_FALSE(contains(html, "<td>.</td>"));
    EXPECT_FALSE(contains(html, "<td>..</td>"));

    set("chkCgiFilter", "1");
    set("txtFilter", "*.TXT");
    makeScripts("site");
    html = output("cd '" + folder + "' && perl index.cgi");
    EXPECT_TRUE(contains(html, "<td>a b.txt</td>"));
    EXPECT_FALSE(contains(html, "Jerry"));
}

TEST_F(ServerScriptsTest, TypedTextStaysTextInsidePerl) {
    const std::string typed = "$HOME @ARGV \"q\" \\n $";
    set("txtAboutNick", typed);
    set("txtUploadDirectory", "in $x");
    std::string folder = makeScripts("site");
    writeFile("site/in $x/file.txt");
    expectPerlCompiles(folder + "/index.cgi");
    expectPerlCompiles(folder + "/upload.cgi");
    std::string html = output("cd '" + folder + "' && perl index.cgi");
    EXPECT_TRUE(contains(html, typed)) << html;
    EXPECT_TRUE(contains(html, "file.txt")) << html;
}

// The upload form of the pages, posted through a real web server with CGI.
TEST_F(ServerScriptsTest, UploadsThroughARealWebServer) {
    std::string folder = makeScripts("site");
    makeFolder("site/upload");
    int port = freeLoopbackPort();
    std::string conf = path("lighttpd.conf");
    std::ofstream(conf) << "server.document-root = \"" << folder << "\"\nserver.port = " << port
                        << "\nserver.bind = \"127.0.0.1\"\nserver.modules = (\"mod_cgi\")\n"
                        << "cgi.assign = (\".cgi\" => \"/usr/bin/perl\")\n"
                        << "server.errorlog = \"" << path("lighttpd.log") << "\"\n";
    Daemon server({"/usr/sbin/lighttpd", "-D", "-f", conf}, port);
    ASSERT_TRUE(server.ready());
    std::string payload("bin\0ary\r\nmore\r\n\xff", 16);
    std::ofstream(path("payload"), std::ios::binary) << payload;
    auto post = [&](const std::string& name) {
        return output("curl -s -F 'upload=@" + path("payload") + ";filename=" + name +
                      "' http://127.0.0.1:" + std::to_string(port) + "/upload.cgi");
    };
    std::string answer = post("pay load.bin");
    EXPECT_EQ(
        answer,
        "<HTML><HEAD><link rel=\"stylesheet\" href=\"index.css\"></HEAD><BODY><center>pay load.bin "
        " "
        "Sucessfully uploaded.<br>\n<h2><a href=\"index.html\">Back.</a></center></body></html>");
    EXPECT_EQ(readFile(folder + "/upload/pay load.bin"), payload);
    EXPECT_TRUE(contains(post(".htaccess"), "Upload refused"));
    EXPECT_FALSE(fs::exists(folder + "/upload/.htaccess"));
    EXPECT_TRUE(
        contains(post("../x"), "<center>x  Sucessfully"));  // only the name's last part counts
    EXPECT_FALSE(fs::exists(folder + "/x"));
    EXPECT_TRUE(contains(post("<i>x.txt"), "<center>&lt;i&gt;x.txt  Sucessfully"));
    std::string listing = output("curl -s http://127.0.0.1:" + std::to_string(port) + "/index.cgi");
    EXPECT_TRUE(contains(listing, "<td>&lt;i&gt;x.txt</td>"));
}

}  // namespace
}  // namespace tabulo::test
