#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "common/Text.h"
#include "run/RunSettings.h"
#include "listing/ListingHelpers.h"
#include "scripts/ServerScripts.h"
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
        if (asAfterARun) engine.setRunRootDepth(WwwRootDepth(engine.options(), engine.currentFolder()));
        engine.cmdMakeScript_Click();
        return path(relative);
    }
    std::string expected(const std::string& name) {
        return readFile(TABULO_TEST_DATA "/scripts/" + name);
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
    engine.setRunRootDepth(CountPathSeparators(root));  // the last run's www root: two levels up
    std::string folder = makeScripts("a/b", false);
    EXPECT_EQ(readFile(folder + "/list.cgi"), expected("second-index.cgi"));
    expectPerlCompiles(folder + "/list.cgi");
    expectPerlCompiles(folder + "/upload.cgi");

    select("optPhp");
    makeScripts("a/b", false);
    EXPECT_EQ(readFile(folder + "/list.php"),
              std::string("<? print \"php indexing code not implemented yet\";\n"
                          "print \"<br>Please visit <a href='http://tabulo.example.org/"
                          "update.cgi'> tabulo</a> for updates.\"; ?>\n"));
    EXPECT_TRUE(
        readFile(folder + "/upload.php").ends_with("if ($upload!=\"\" ){print \"$upload\";} ?>\n"));
}

TEST_F(ServerScriptsTest, UpPrefixFollowsTheWwwRoot) {
    set("txtWWWroot", root);
    engine.setRunRootDepth(CountPathSeparators(root));
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
                 "alt=\"txt\" src=\"pics/icons/txt.gif\"> "
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

// The lines from a snapshot alone: the folder, the depth and the date are the caller's.
TEST(ScriptLines, ClimbAndDateComeFromTheCaller) {
    OptionValues options;
    std::tm date{};
    date.tm_year = 2030 - 1900;
    date.tm_mon = 0;
    date.tm_mday = 2;
    auto stylesheetLink = [&](const std::string& folder, int rootDepth) {
        for (const auto& line : IndexScriptLines(options, folder, rootDepth, date)) {
            if (contains(line, "stylesheet")) return line;
        }
        return std::string();
    };
    EXPECT_TRUE(contains(stylesheetLink("/srv/www/a/b", 2), "href=\\\"../index.css\\\""));
    EXPECT_TRUE(contains(stylesheetLink("/srv/www/a", 2), "href=\\\"index.css\\\""));
    // A folder above the last run's www root climbs nowhere.
    EXPECT_TRUE(contains(stylesheetLink("/srv", 2), "href=\\\"index.css\\\""));
    auto lines = IndexScriptLines(options, "/srv/www", 1, date);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return contains(l, " on 01-02-2030<"); }),
              1);
    auto upload = UploadScriptLines(options, "/srv/www/a/b", 2);
    EXPECT_TRUE(std::any_of(upload.begin(), upload.end(), [](const std::string& l) {
        return contains(l, "href=\\\"../index.css\\\"");
    }));
}

TEST_F(ServerScriptsTest, WithoutAnEngineAFailureIsAnErrorOfTheSink) {
    RecordingSink sink;
    makeFolder("s/upload.cgi");  // the second script cannot take its place
    WriteServerScripts(OptionValues(), path("s"), 0, std::tm{}, sink);
    ASSERT_EQ(sink.lines.size(), 2u);
    EXPECT_EQ(sink.lines[0], "Writing scripts for `" + path("s") + "` ...");
    ASSERT_EQ(sink.errors, std::vector<std::string>{sink.lines[1]});
    EXPECT_TRUE(sink.errors[0].starts_with("Error writing script `" + path("s/upload.cgi") + "`"));
    EXPECT_TRUE(fs::exists(path("s/index.cgi")));
    EXPECT_TRUE(host.statusLines.empty());
}

// The scripts as a site runs them: a real web server executing each through its "#!" line,
// uploads posted with curl, into a folder whose name is not ASCII.
class ServedScriptsTest : public ServerScriptsTest {
  protected:
    void SetUp() override {
        ServerScriptsTest::SetUp();
        set("txtUploadDirectory", kUploads);
        set("chkCgiFilter", "1");
        set("txtFilter", "\xC3\x89*");  // "É*"
        folder = makeScripts("site");
        makeFolder("site/" + kUploads);
        port = freeLoopbackPort();
        std::ofstream(path("lighttpd.conf"))
            << "server.document-root = \"" << folder << "\"\nserver.port = " << port
            << "\nserver.bind = \"127.0.0.1\"\nserver.modules = (\"mod_cgi\")\n"
            << "cgi.assign = (\".cgi\" => \"\")\n"  // run directly
            << "server.errorlog = \"" << path("lighttpd.log") << "\"\n"
            << "server.breakagelog = \"" << path("cgi.log") << "\"\n";  // the scripts' stderr
        server = std::make_unique<Daemon>(
            std::vector<std::string>{"/usr/sbin/lighttpd", "-D", "-f", path("lighttpd.conf")},
            port);
        ASSERT_TRUE(server->ready());
    }
    void TearDown() override {
        server.reset();
        ServerScriptsTest::TearDown();
    }
    // Posts `content` as the file part named `name`; `before` adds form fields in front.
    // Gives the status code and the page.
    std::pair<std::string, std::string> post(const std::string& name, const std::string& content,
                                             const std::string& before = "") {
        std::ofstream(path("payload"), std::ios::binary) << content;
        std::string page = output("curl -s -o - -w '\n%{http_code}' " + before + " -F 'upload=@" +
                                  path("payload") + ";filename=" + name +
                                  "' http://127.0.0.1:" + std::to_string(port) + "/upload.cgi");
        auto cut = page.rfind('\n');
        return {page.substr(cut + 1), page.substr(0, cut)};
    }
    std::string stored(const std::string& name) {
        return readFile(folder + "/" + kUploads + "/" + name);
    }
    bool isStored(const std::string& name) {
        return fs::exists(folder + "/" + kUploads + "/" + name);
    }

    inline static const std::string kUploads =
        "t\xC3\xA9l\xC3\xA9"
        "chargements";
    std::string folder;
    int port = 0;
    std::unique_ptr<Daemon> server;
};

TEST_F(ServedScriptsTest, StoresNewFilesWholeAndBinary) {
    EXPECT_EQ(fs::status(folder + "/upload.cgi").permissions() & fs::perms::all, fs::perms(0755));
    std::string payload("bin\0ary\r\nmore\r\n\xff", 16);
    auto [code, page] = post("pay load.bin", payload);
    EXPECT_EQ(code, "200");
    EXPECT_EQ(page,
              "<HTML><HEAD><link rel=\"stylesheet\" href=\"index.css\"></HEAD><BODY><center>"
              "pay load.bin  Sucessfully uploaded.<br>\n"
              "<h2><a href=\"index.html\">Back.</a></center></body></html>");
    EXPECT_EQ(stored("pay load.bin"), payload);

    std::string big(2 * 1024 * 1024, '\0');  // 2 MiB and not one line end
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251 + 11);
    EXPECT_EQ(post("big.bin", big).first, "200");
    EXPECT_EQ(stored("big.bin"), big);

    // The name comes from the file part, not from a plain field of the same name before it.
    EXPECT_EQ(post("plain.txt", "x", "-F 'upload=evil.txt'").first, "200");
    EXPECT_TRUE(isStored("plain.txt"));
    EXPECT_FALSE(isStored("evil.txt"));
    EXPECT_TRUE(contains(post("<i>x.txt", "x").second, "<center>&lt;i&gt;x.txt  Sucessfully"));
}

TEST_F(ServedScriptsTest, RefusesWhatAServerRunsOrThePagesRead) {
    writeFile("site/" + kUploads + "/mine.txt", "mine");
    const std::pair<std::string, std::string> refused[] = {
        {"shell.cgi", "403"},  {"x.php.txt", "403"}, {"X.PhP", "403"},    {"a.pl", "403"},
        {"page.shtml", "403"}, {".htaccess", "403"}, {"desc.txt", "403"}, {"SNAP.GIF", "403"},
        {"index.html", "403"}, {"index.css", "403"}, {"../x", "200"},     {"mine.txt", "409"},
    };
    for (const auto& [name, code] : refused) {
        auto [got, page] = post(name, "<?php system($_GET['c']); ?>");
        EXPECT_EQ(got, code) << name;
        if (code != "200") {
            EXPECT_TRUE(contains(page, "Upload refused")) << name << page;
            EXPECT_FALSE(contains(page, folder)) << page;  // no server paths
        }
    }
    for (const char* name : {"shell.cgi", "x.php.txt", "X.PhP", "a.pl", "page.shtml", ".htaccess",
                             "desc.txt", "SNAP.GIF", "index.html", "index.css"}) {
        EXPECT_FALSE(isStored(name)) << name;
    }
    EXPECT_EQ(stored("mine.txt"), "mine");                   // never overwritten
    EXPECT_EQ(stored("x"), "<?php system($_GET['c']); ?>");  // only the name's last part
    EXPECT_FALSE(fs::exists(folder + "/x"));

    // A failure says little to the browser; the server's log gets the cause.
    fs::remove_all(folder + "/" + kUploads);
    auto [code, page] = post("late.txt", "x");
    EXPECT_EQ(code, "500");
    EXPECT_TRUE(contains(page, "The file could not be stored.")) << page;
    EXPECT_FALSE(contains(page, kUploads));
    EXPECT_TRUE(contains(readFile(path("cgi.log")), kUploads + "/late.txt: No such file"));
}

TEST_F(ServedScriptsTest, RefusesEveryReadmeAndWhatARunWritesBesideThePages) {
    const std::string read = "the index pages read a file named";
    const std::string written = "tabulo writes a file named";
    auto expectRefused = [&](const std::string& name, const std::string& why) {
        auto [code, page] = post(name, "not yours");
        EXPECT_EQ(code, "403") << name;
        EXPECT_TRUE(contains(page, "Upload refused: " + why + " " + name + ".")) << name << page;
        EXPECT_FALSE(isStored(name)) << name;
    };
    for (const char* name : {"README", "README.md", "readme.txt", "Readme.markdown", "ReadMe.MD",
                             "readme.", "README.tar.gz"}) {
        expectRefused(name, read);
    }
    for (const char* name :
         {"index.json", "INDEX.Json", "MD5SUMS", "md5sums", "SHA256SUMS", "Sha256Sums"}) {
        expectRefused(name, written);
    }
    // Near misses are ordinary names.
    for (const char* name : {"readme-first.txt", "readmes", "my.readme", "index.json.txt",
                             "index.jsonl", "MD5SUMS.txt", "SHA1SUMS", "notes.md"}) {
        EXPECT_EQ(post(name, "ok").first, "200") << name;
        EXPECT_EQ(stored(name), "ok") << name;
    }

    // The JSON name follows the page's name.
    set("txtIndexHtm", "list.htm");
    makeScripts("site");
    expectRefused("list.json", written);
    EXPECT_EQ(post("index.json", "ok").first, "200");
    EXPECT_EQ(stored("index.json"), "ok");
    set("txtIndexHtm", "contents");
    makeScripts("site");
    expectRefused("contents.json", written);
}

// Two rules keep ".htaccess" out, each on its own: no name starting with a dot, and no
// server configuration file under any name a server might still read.
TEST_F(ServedScriptsTest, RefusesServerConfigurationFiles) {
    for (const char* name : {".htaccess", ".HTACCESS", ".htpasswd", ".hidden.txt", ".user.ini"}) {
        auto [code, page] = post(name, "Options +ExecCGI");
        EXPECT_EQ(code, "403") << name;
        EXPECT_TRUE(contains(page, "Upload refused: a name that is not allowed.")) << name << page;
        EXPECT_FALSE(isStored(name)) << name;
    }
    for (const char* name : {"x.htaccess", "site.HTACCESS", "users.htpasswd", "a.htaccess.txt"}) {
        auto [code, page] = post(name, "Options +ExecCGI");
        EXPECT_EQ(code, "403") << name;
        EXPECT_TRUE(contains(page, "Upload refused: the web server might run a file named " +
                                       std::string(name) + "."))
            << name << page;
        EXPECT_FALSE(isStored(name)) << name;
    }
    EXPECT_EQ(post("htaccess", "plain").first, "200");  // no dot: an ordinary name
    EXPECT_EQ(stored("htaccess"), "plain");
}

TEST_F(ServedScriptsTest, SizeLimitAndListing) {
    // The limit is one line at the top of the script; a site owner lowers it to 1 MiB.
    std::string script = readFile(folder + "/upload.cgi");
    std::string line = "$CGI::POST_MAX = 100 * 1024 * 1024;";
    ASSERT_TRUE(contains(script, line));
    std::ofstream(folder + "/upload.cgi", std::ios::binary)
        << replaceAll(script, line, "$CGI::POST_MAX = 1024 * 1024;");
    EXPECT_EQ(post("big.bin", std::string(2 * 1024 * 1024, 'b')).first, "413");
    EXPECT_FALSE(isStored("big.bin"));
    EXPECT_EQ(post("small.bin", "s").first, "200");

    // The listing's filter matches characters: "É*" finds "Été" and "été", whatever the bytes.
    for (const char* name : {"\xC3\x89t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.pdf", "Ete.txt"})
        writeFile("site/" + kUploads + "/" + name);
    std::string listing = output("curl -s http://127.0.0.1:" + std::to_string(port) + "/index.cgi");
    EXPECT_TRUE(contains(listing, "<td>\xC3\x89t\xC3\xA9.txt</td>")) << listing;
    EXPECT_TRUE(contains(listing, "<td>\xC3\xA9t\xC3\xA9.pdf</td>"));
    EXPECT_FALSE(contains(listing, "Ete.txt"));
    EXPECT_FALSE(contains(listing, "small.bin"));

    // Written again, a script keeps the bits its owner gave it.
    fs::permissions(folder + "/index.cgi", fs::perms(0750));
    makeScripts("site");
    EXPECT_EQ(fs::status(folder + "/index.cgi").permissions() & fs::perms::all, fs::perms(0750));
}

}  // namespace
}  // namespace tabulo::test
