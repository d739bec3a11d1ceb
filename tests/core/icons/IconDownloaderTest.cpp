#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "common/Text.h"
#include "icons/IconDownloader.h"
#include "support/Fixture.h"
#include "support/LocalServers.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

const std::string kGif =
    std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00", 19) +
    std::string(",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;", 16);
// A comment block that holds "GIF" again, which must not cut the file short.
const std::string kGifWithEcho =
    std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13) + "!\xfe\x03GIF" + kGif.substr(13);

// nginx serving icons, and tinyproxy in front of it, for the whole suite.
class IconDownloaderTest : public EngineTest {
  protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("tabulo-servers-" + std::to_string(::getpid()));
        fs::create_directories(dir_ / "www/icons");
        fs::create_directories(dir_ / "tmp");
        std::ofstream(dir_ / "www/icons/unknown.gif", std::ios::binary) << kGif;
        std::ofstream(dir_ / "www/icons/txt.gif", std::ios::binary) << kGif;
        std::ofstream(dir_ / "www/icons/echo.gif", std::ios::binary) << kGifWithEcho;
        webPort_ = freeLoopbackPort();
        proxyPort_ = freeLoopbackPort();
        std::string d = dir_.string();
        std::ofstream(dir_ / "nginx.conf")
            << "daemon off; master_process off; pid " << d << "/nginx.pid; error_log " << d
            << "/error.log;\n"
            << "events { worker_connections 16; }\n"
            << "http { access_log " << d << "/access.log; client_body_temp_path " << d << "/tmp;\n"
            << "  proxy_temp_path " << d << "/tmp; fastcgi_temp_path " << d << "/tmp;\n"
            << "  uwsgi_temp_path " << d << "/tmp; scgi_temp_path " << d << "/tmp;\n"
            << "  server { listen 127.0.0.1:" << webPort_ << "; root " << d << "/www; } }\n";
        std::ofstream(dir_ / "tinyproxy.conf")
            << "Port " << proxyPort_ << "\nListen 127.0.0.1\nTimeout 10\n"
            << "LogFile \"" << d << "/tinyproxy.log\"\nLogLevel Connect\n"
            << "MaxClients 4\nAllow 127.0.0.1\n";
        web_ = new Daemon({"/usr/sbin/nginx", "-c", d + "/nginx.conf", "-p", d}, webPort_);
        proxy_ = new Daemon({"/usr/bin/tinyproxy", "-d", "-c", d + "/tinyproxy.conf"}, proxyPort_);
    }
    static void TearDownTestSuite() {
        delete web_;
        delete proxy_;
        fs::remove_all(dir_);
    }

    void SetUp() override {
        EngineTest::SetUp();
        ASSERT_TRUE(web_->ready()) << "nginx did not start";
        ASSERT_TRUE(proxy_->ready()) << "tinyproxy did not start";
        engine.options().select(opt("optIconsLocal"));
        engine.options().setText(opt("lblWWWroot"), makeFolder("www"));
        iconsFrom("127.0.0.1:" + std::to_string(webPort_) + "/icons/#.gif");
    }
    void iconsFrom(const std::string& hostAndPath) {
        engine.options().setText(opt("txtIcohrefDl"), "http://" + hostAndPath);
    }
    void download(const std::vector<std::string>& names) {
        for (const auto& n : names) engine.AddNeededIcon(n);
        engine.cmdDlIcons_Click();
        engine.finishPendingEvents();
    }
    std::string icon(const std::string& type) {
        return readFile(path("www/pics/icons/" + type + ".gif"));
    }
    bool said(const std::string& text) {
        return std::find(host.statusLines.begin(), host.statusLines.end(), text) !=
               host.statusLines.end();
    }

    static inline fs::path dir_;
    static inline int webPort_ = 0, proxyPort_ = 0;
    static inline Daemon* web_ = nullptr;
    static inline Daemon* proxy_ = nullptr;
};

TEST_F(IconDownloaderTest, FetchesWhatIsMissingOneAfterTheOther) {
    writeFile("www/pics/icons/dir.gif", "mine");
    download({"dir", "unknown", "txt", "echo", "end_"});
    EXPECT_EQ(icon("dir"), "mine");
    EXPECT_EQ(icon("unknown"), kGif);
    EXPECT_EQ(icon("txt"), kGif);
    EXPECT_EQ(icon("echo"), kGifWithEcho);
    EXPECT_TRUE(said("Skipping icon : `dir.gif`"));
    EXPECT_TRUE(said("Skipping icon : `end_.gif`"));
    EXPECT_TRUE(
        said("Selected : `127.0.0.1:" + std::to_string(webPort_) + "` <+> `/icons/txt.gif`"));
    EXPECT_TRUE(said("Finished icon : `txt.gif`"));
    EXPECT_EQ(engine.downloader().socketState(), "free");
    for (const auto& entry : fs::directory_iterator(path("www/pics/icons"))) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    }
}

TEST_F(IconDownloaderTest, MissingIconPageWritesNothing) {
    download({"nosuchtype"});
    EXPECT_FALSE(fs::exists(path("www/pics/icons/nosuchtype.gif")));
    EXPECT_EQ(host.statusLines.back(), "Finished icon : `nosuchtype.gif`");
    EXPECT_EQ(engine.downloader().socketState(), "free");
}

TEST_F(IconDownloaderTest, ThroughTheProxy) {
    engine.options().setCheck(opt("chkProxy"), 1);
    engine.options().setText(opt("txtProxy"), "127.0.0.1:" + std::to_string(proxyPort_));
    download({"txt"});
    EXPECT_EQ(icon("txt"), kGif);
    EXPECT_TRUE(
        said("Connecting to the website thru `127.0.0.1:" + std::to_string(proxyPort_) + "`..."));
    EXPECT_TRUE(
        contains(readFile((dir_ / "tinyproxy.log").string()),
                 "GET http://127.0.0.1:" + std::to_string(webPort_) + "/icons/txt.gif HTTP/1.0"));
}

TEST_F(IconDownloaderTest, RequestBytesDirectAndThroughAProxy) {
    ScriptedPeer peer(
        [](int fd, const std::string&) { sendAll(fd, "HTTP/1.0 200 OK\r\n\r\nGIF89a"); });
    std::string at = "127.0.0.1:" + std::to_string(peer.port());
    iconsFrom("example.org/a//b/#.gif");  // the doubled "/" ends the path
    engine.options().setCheck(opt("chkProxy"), 1);
    engine.options().setText(opt("txtProxy"), at);
    download({"txt"});
    iconsFrom(at + "/pics/icons/ico.cgi?ico=#");
    engine.options().setCheck(opt("chkProxy"), 0);
    download({"a b\r\nX: y"});  // never reaches the request as it is, never stored
    download({"c d"});
    ASSERT_EQ(peer.requests().size(), 2u);
    EXPECT_EQ(peer.requests()[0],
              "GET http://example.org/a HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Tabulo 42\r\n"
              "Pragma: no-cache\r\nHost: example.org\r\nProxy-Connection: close\r\n\r\n");
    EXPECT_EQ(
        peer.requests()[1],
        "GET /pics/icons/ico.cgi?ico=c%20d HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Tabulo 42\r\n"
        "Pragma: no-cache\r\nHost: " +
            at + "\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(said("Skipping icon : `a b\r\nX: y.gif`"));
    EXPECT_EQ(icon("c d"), "GIF89a");
}

// A type that would make a hidden file or lead out of the icons' folder is never asked for,
// never stored; a service that answers everything with a picture changes nothing.
TEST_F(IconDownloaderTest, HiddenAndClimbingTypesAreNeitherAskedNorStored) {
    ScriptedPeer peer(
        [](int fd, const std::string&) { sendAll(fd, "HTTP/1.0 200 OK\r\n\r\n" + kGif); });
    iconsFrom("127.0.0.1:" + std::to_string(peer.port()) + "/#.gif");
    makeFolder("www/pics/icons/sub");  // a place a type with "/" could reach
    const std::vector<std::string> refused = {".x",    ".",      "..",      "...", "a..b",
                                              "../up", "sub/in", "sub\\in", "/abs"};
    download(refused);
    EXPECT_TRUE(peer.requests().empty());
    for (const std::string& type : refused)
        EXPECT_TRUE(said("Skipping icon : `" + type + ".gif`")) << type;
    std::vector<std::string> stored;
    for (const auto& entry : fs::recursive_directory_iterator(path("www")))
        if (!entry.is_directory())
            stored.push_back(entry.path().string().substr(path("www").size()));
    EXPECT_EQ(stored, std::vector<std::string>{});
    download({"x.y"});  // a dot inside is an ordinary type
    EXPECT_EQ(icon("x.y"), kGif);
    EXPECT_EQ(peer.requests().size(), 1u);
}

TEST_F(IconDownloaderTest, OnlyAGifFromA200AnswerIsStoredAndThenWhole) {
    ScriptedPeer peer([](int fd, const std::string& request) {
        if (contains(request, "/echo.gif"))  // LF-only headers, a body holding "GIF" and NULs
            sendAll(fd, "HTTP/1.1 200 OK\nContent-Type: image/gif\n\n" + kGifWithEcho + "\r\n");
        else if (contains(request, "/gone.gif"))
            sendAll(fd, "HTTP/1.0 404 Not Found\r\nX-Was: GIF89a\r\n\r\n" + kGif);
        else
            sendAll(fd, "HTTP/1.0 200 OK\r\n\r\n<html>GIF89a</html>");
    });
    iconsFrom("127.0.0.1:" + std::to_string(peer.port()) + "/#.gif");
    download({"echo", "gone", "page"});
    download({"echo", "gone", "page"});
    EXPECT_EQ(icon("echo"), kGifWithEcho + "\r\n");
    EXPECT_FALSE(fs::exists(path("www/pics/icons/gone.gif")));
    EXPECT_FALSE(fs::exists(path("www/pics/icons/page.gif")));
    EXPECT_TRUE(said("Finished icon : `gone.gif`"));
    EXPECT_TRUE(said("Skipping icon : `echo.gif`"));
    auto asked = [&](const std::string& what) {
        auto r = peer.requests();
        return std::count_if(r.begin(), r.end(), [&](auto& q) { return contains(q, what); });
    };
    EXPECT_EQ(asked("/echo.gif"), 1);
    EXPECT_EQ(asked("/gone.gif"), 2);  // nothing stored, so asked again
    EXPECT_TRUE(host.questions.empty());
}

TEST(IconFromAnswer, TheBodyOfA200AnswerStartingLikeAGif) {
    for (auto [answer, icon] : std::vector<std::pair<std::string, std::optional<std::string>>>{
             {"HTTP/1.0 200 OK\r\n\r\nGIF89a", "GIF89a"},
             {"HTTP/1.1 200\r\nX: GIF7\r\n\r\nGIF87a\r\n\r\nGIF89a", "GIF87a\r\n\r\nGIF89a"},
             {"HTTP/1.0 200 OK\nX: y\n\nGIF8", "GIF8"},
             {"HTTP/1.0 200 OK\r\nX: y\n\r\nGIF8", "GIF8"},
             {"HTTP/1.0 200 OK\r\n\n\r\nGIF89a", std::nullopt},  // the body starts at CR LF
             {"HTTP/1.0 404 Not Found\r\nX: GIF89a\r\n\r\nGIF89a", std::nullopt},
             {"HTTP/1.0 2000 OK\r\n\r\nGIF89a", std::nullopt},
             {"HTTP/1.2 200 OK\r\n\r\nGIF89a", std::nullopt},
             {"HTTP/1.0 200 OK\r\n\r\n GIF89a", std::nullopt},
             {"HTTP/1.0 200 OK\r\n\r\nGIF", std::nullopt},
             {"HTTP/1.0 200 OK\r\nX: GIF89a\r\n", std::nullopt},  // headers never end
             {"GIF89a", std::nullopt},
             {"HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nGIF89a", "GIF89a"},
             {"HTTP/1.0 200 OK\r\ncontent-length:9\r\n\r\nGIF89a", std::nullopt},  // cut short
         }) {
        EXPECT_EQ(IconFromAnswer(answer), icon) << answer;
    }
}

TEST_F(IconDownloaderTest, ATricklingAnswerEndsAtTheWholeAnswerDeadline) {
    // Each byte comes well within the silence time-out; only the deadline can end this.
    engine.setIconTimeouts(std::chrono::milliseconds(2000),
                                    std::chrono::milliseconds(1500),
                                    std::chrono::milliseconds(700));
    ScriptedPeer peer([](int fd, const std::string& request) {
        const std::string answer = "HTTP/1.0 200 OK\r\n\r\n" + kGif;
        if (!contains(request, "/slow.gif")) return sendAll(fd, answer);
        for (char c : answer) {  // 5 s in all, unless the client goes away
            if (::send(fd, &c, 1, MSG_NOSIGNAL) != 1) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    iconsFrom("127.0.0.1:" + std::to_string(peer.port()) + "/#.gif");
    download({"slow", "quick"});
    EXPECT_TRUE(said("Error Winsock : " + std::to_string(ETIMEDOUT) +
                     ", `The whole answer took too long`"));
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_TRUE(contains(host.questions[0], "'The whole answer took too long'"));
    EXPECT_FALSE(fs::exists(path("www/pics/icons/slow.gif")));
    EXPECT_EQ(icon("quick"), kGif);
    EXPECT_EQ(engine.downloader().socketState(), "free");
}

TEST_F(IconDownloaderTest, HostOnlyTemplatesHaveAnEmptyPath) {
    ScriptedPeer peer([](int, const std::string&) {});
    std::string at = "127.0.0.1:" + std::to_string(peer.port());
    for (std::string suffix : {"", "/"}) {
        iconsFrom(at + suffix);
        download({"t" + std::to_string(suffix.size())});
        EXPECT_EQ(engine.downloader().remotePath(), "");
    }
    EXPECT_TRUE(peer.requests().back().starts_with("GET  HTTP/1.0\r\n"));
}

TEST_F(IconDownloaderTest, FailuresFreeTheSocketAndTheNextIconComes) {
    engine.setIconTimeouts(std::chrono::milliseconds(2000), std::chrono::milliseconds(300),
                                    std::chrono::seconds(10));
    auto silent = std::make_unique<ScriptedPeer>([](int fd, const std::string&) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 3000);  // says nothing until the client gives up
    });
    auto endless = std::make_unique<ScriptedPeer>([](int fd, const std::string&) {
        std::string chunk(65536, 'x');
        for (int i = 0; i < 40; ++i) sendAll(fd, chunk);
    });
    int refused = freeLoopbackPort();
    auto error = [&](const std::string& what) {
        return std::any_of(host.statusLines.begin(), host.statusLines.end(),
                           [&](const std::string& l) {
                               return l.starts_with("Error Winsock : ") && contains(l, what);
                           });
    };
    iconsFrom("127.0.0.1:" + std::to_string(silent->port()) + "/#.gif");
    download({"silent"});
    EXPECT_TRUE(error("timed out"));
    iconsFrom("127.0.0.1:" + std::to_string(endless->port()) + "/#.gif");
    download({"endless"});
    EXPECT_TRUE(error("larger than 1 MiB"));
    iconsFrom("127.0.0.1:" + std::to_string(refused) + "/#.gif");
    download({"refused"});
    EXPECT_TRUE(error("refused"));
    engine.options().setCheck(opt("chkProxy"), 1);
    engine.options().setText(opt("txtProxy"), "127.0.0.1:99999");
    download({"badproxy"});
    EXPECT_TRUE(error("port from 1 to 65535"));
    engine.options().setCheck(opt("chkProxy"), 0);
    iconsFrom("127.0.0.1:" + std::to_string(webPort_) + "/icons/#.gif");
    download({"txt"});
    EXPECT_EQ(icon("txt"), kGif);
    EXPECT_EQ(engine.downloader().socketState(), "free");
    EXPECT_TRUE(
        contains(host.questions.front(), "Winsock Error: The following Winsock error occured : '"));
    EXPECT_TRUE(contains(host.questions.front(), ")\r\nTabulo couldn't contact the website :("));
    EXPECT_FALSE(engine.runSawError());  // failures from outside are no errors of the run
}

TEST_F(IconDownloaderTest, WithoutAnEngineLinesGoToItsOwnSink) {
    RecordingSink sink;
    Options options;
    options.setText(opt("lblAllInOneFolder"), makeFolder("own"));  // taken as the www root
    options.setText(opt("txtIcohrefDl"),
                    "http://127.0.0.1:" + std::to_string(webPort_) + "/icons/#.gif");
    std::vector<std::string> needed{"txt"};
    IconDownloader downloader(options, host, sink, needed);
    downloader.cmdDlIcons_Click();
    downloader.finish();
    EXPECT_EQ(options.text(opt("lblWWWroot")), path("own"));
    EXPECT_EQ(readFile(path("own/pics/icons/txt.gif")), kGif);
    EXPECT_EQ(sink.lines.back(), "Finished icon : `txt.gif`");

    // The list is read at each start; a failure is an error of the sink, and asked about.
    needed.push_back("gone");
    options.setText(opt("txtIcohrefDl"),
                    "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/#.gif");
    downloader.cmdDlIcons_Click();
    downloader.finish();
    EXPECT_TRUE(std::count(sink.lines.begin(), sink.lines.end(), "Skipping icon : `txt.gif`"));
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_TRUE(sink.errors[0].starts_with("Error Winsock : "));
    EXPECT_EQ(host.questions.size(), 1u);
    EXPECT_TRUE(host.statusLines.empty());
}

TEST_F(IconDownloaderTest, ProxyPortsFromOneTo65535) {
    engine.setIconTimeouts(std::chrono::milliseconds(2000), std::chrono::milliseconds(300),
                                    std::chrono::seconds(10));
    engine.options().setCheck(opt("chkProxy"), 1);
    for (auto [proxy, accepted] :
         std::vector<std::pair<std::string, bool>>{{"127.0.0.1:65535", true},
                                                   {"127.0.0.1:1", true},
                                                   {"127.0.0.1:65536", false},
                                                   {"127.0.0.1:0", false},
                                                   {"127.0.0.1:99999999999", false},
                                                   {"127.0.0.1:", false}}) {
        host.statusLines.clear();
        engine.options().setText(opt("txtProxy"), proxy);
        download({"p"});
        bool refused = std::any_of(host.statusLines.begin(), host.statusLines.end(), [](auto& l) {
            return l.starts_with("Error Winsock : ") && contains(l, "a port from 1 to 65535");
        });
        EXPECT_EQ(refused, !accepted) << proxy;
        EXPECT_EQ(engine.downloader().socketState(), "free");
    }
}

TEST_F(IconDownloaderTest, AnIconFolderLeadingOutOfTheTreeGetsNothing) {
    const std::string outside = fs::path(root).parent_path().string() + "/outside";
    fs::create_directories(outside);
    writeFile("site/a.txt");
    writeFile("site/b.echo");
    fs::create_directory_symlink("../../outside", path("site/pics"));
    engine.options().setText(opt("lblWWWroot"), path("site"));
    set("txtWWWroot", path("site"));
    ::setenv("TABULO_DATA", path("no-shipped-icons").c_str(), 1);  // every icon is fetched
    go("site");
    ::unsetenv("TABULO_DATA");
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_TRUE(said("Skipping the icons in `" + path("site/pics") +
                     "`: it leads outside the folder being indexed."));
    EXPECT_EQ(host.statusLines.back(), "Done");
    // The window's own button, without a run, keeps within the www root just as well.
    download({"txt"});
    EXPECT_TRUE(fs::is_empty(outside));
}

TEST_F(IconDownloaderTest, AnIndexRunFetchesItsIcons) {
    writeFile("site/a.txt");
    writeFile("site/b.echo");
    writeFile("site/c.nothere");
    engine.options().setText(opt("lblWWWroot"), path("site"));
    iconsFrom("127.0.0.1:" + std::to_string(webPort_) + "/icons/#.gif");
    go("site");
    // Only what the shipped set lacks is fetched, and the run waits for it.
    EXPECT_EQ(readFile(path("site/pics/icons/echo.gif")), kGifWithEcho);
    EXPECT_TRUE(readFile(path("site/pics/icons/txt.gif")).starts_with("GIF89a\x10\0\x10\0"));
    EXPECT_NE(readFile(path("site/pics/icons/unknown.gif")), kGif);
    // Not on the service either: the unknown picture under its own name.
    EXPECT_EQ(readFile(path("site/pics/icons/nothere.gif")), readFile(path("site/pics/icons/unknown.gif")));
    EXPECT_TRUE(contains(readFile(path("site/index.html")), "src=\"pics/icons/txt.gif\""));
}

}  // namespace
}  // namespace tabulo::test
