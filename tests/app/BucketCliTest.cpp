#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <thread>

#include "bucket/S3Client.h"
#include "common/PercentEncoding.h"
#include "common/Text.h"
#include "support/Fixture.h"
#include "support/LocalServers.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

struct CliRun {
    int exitCode = -1;
    std::string err;
};

// A real S3 API server (s3rver, from npm) on 127.0.0.1, keeping its objects in the test's
// folder, with the bucket "site"; and tabulo-cli run against it with an environment of its
// own: the machine's certificate settings and credentials never reach either.
class BucketCliTest : public FolderTest {
  protected:
    void SetUp() override {
        FolderTest::SetUp();
        port = freeLoopbackPort();
        const std::string data = fs::path(root).parent_path().string() + "/s3";
        fs::create_directories(data);
        server = std::make_unique<Daemon>(
            std::vector<std::string>{"/usr/bin/env", "-i", "PATH=/usr/bin:/bin", "HOME=" + data,
                                     "NODE_OPTIONS=--openssl-legacy-provider", "node", TABULO_S3RVER,
                                     "--silent", "-d", data, "-a", "127.0.0.1", "-p", std::to_string(port),
                                     "--configure-bucket", "site"},
            port);
        ASSERT_TRUE(server->ready()) << "s3rver did not start: run scripts/install-deps.sh test";
        BucketPlace place;
        place.endpoint = endpoint();
        place.bucket = "site";
        place.accessKey = place.secretKey = "S3RVER";
        client = std::make_unique<S3Client>(place);
    }
    std::string endpoint() const { return "http://127.0.0.1:" + std::to_string(port); }

    CliRun cli(const std::vector<std::string>& args, const std::string& accessKey = "S3RVER") {
        const std::string dir = fs::path(root).parent_path().string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const std::string out = dir + "/stdout.txt", err = dir + "/stderr.txt";
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> all{TABULO_CLI};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + dir + "/user", "TABULO_HOME=" + dir + "/home",
                                        "LC_ALL=C", "TZ=UTC", "AWS_ACCESS_KEY_ID=" + accessKey,
                                        "AWS_SECRET_ACCESS_KEY=S3RVER", "AWS_ENDPOINT_URL=" + endpoint()};
        std::vector<char*> argv, envp;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid;
        CliRun r;
        if (posix_spawn(&pid, TABULO_CLI, &actions, nullptr, argv.data(), envp.data()) == 0) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        r.err = readFile(err);
        return r;
    }

    std::vector<std::string> keys() {
        std::vector<std::string> all;
        std::optional<std::string> next;
        do {
            auto page = client->list("", "", next);
            for (auto& o : page.objects) all.push_back(o.key);
            next = page.next;
        } while (next);
        return all;
    }
    std::string object(const std::string& key) {
        std::string bytes;
        client->get(key, [&](const char* data, std::size_t n) { bytes.append(data, n); });
        return bytes;
    }
    // "Summary: 3 pages written, ..." as the run ended it.
    static std::string summary(const CliRun& r) {
        auto at = r.err.rfind("Summary: ");
        return at == std::string::npos ? "" : r.err.substr(at, r.err.find('\n', at) - at);
    }

    int port = 0;
    std::unique_ptr<Daemon> server;
    std::unique_ptr<S3Client> client;
};

TEST_F(BucketCliTest, PagesOfAPrefixAndNothingOutsideIt) {
    // (s3rver takes no keys with "//" or "/../": BucketTreeTest has those.)
    for (const char* key : {"pub/top.txt", "pub/docs/a.txt", "pub/docs/deep/b.txt", "pub/x/odd.txt",
                            "pub/say \"hi\" & <b>.txt", "pub/ctl\x01name.txt", "pub/empty/",
                            "other/secret.txt"})
        client->put(key, std::string(key).ends_with("/") ? "" : "data", "text/plain");
    CliRun r = cli({"s3://site/pub"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> written;
    for (const std::string& key : keys())
        if (key.ends_with("index.html")) written.push_back(key);
    EXPECT_EQ(written, (std::vector<std::string>{"pub/docs/deep/index.html", "pub/docs/index.html",
                                                 "pub/empty/index.html", "pub/index.html", "pub/x/index.html"}));
    const std::string top = object("pub/index.html");
    // Odd keys are names, shown as text and linked as the keys they are.
    EXPECT_TRUE(contains(top, "href=\"say%20&quot;hi&quot;%20&amp;%20&lt;b&gt;.txt\"")) << top;
    EXPECT_TRUE(contains(top, "href=\"ctl%01name.txt\"")) << top;
    EXPECT_FALSE(contains(top, "<b>.txt")) << top;
    EXPECT_TRUE(contains(object("pub/x/index.html"), "href=\"odd.txt\""));
    // The icons the pages show are put beside them from the shipped set, once; their folder
    // gets no page and no row.
    EXPECT_TRUE(contains(top, "src=\"pics/icons/txt.gif\"")) << top;
    EXPECT_TRUE(object("pub/pics/icons/txt.gif").starts_with("GIF8"));
    EXPECT_TRUE(object("pub/pics/icons/dir.gif").starts_with("GIF8"));
    EXPECT_FALSE(contains(top, "href=\"pics/")) << top;
    // Nothing was written outside the prefix.
    for (const std::string& key : keys()) EXPECT_TRUE(key.starts_with("pub/") || key == "other/secret.txt") << key;
    EXPECT_TRUE(contains(summary(r), "0 errors")) << r.err;

    // Again, nothing changed: nothing is put.
    r = cli({"s3://site/pub"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(summary(r), "0 files written, 5 unchanged")) << r.err;  // the icons are there
    EXPECT_TRUE(contains(summary(r), "0 puts")) << r.err;

    // One object changes: its folder's page, and of the pages above it those whose rows show
    // a time that changed; no other.
    client->put("pub/docs/deep/b.txt", "longer data", "text/plain");
    r = cli({"s3://site/pub", "--dry-run"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(summary(r), "0 puts")) << r.err;
    std::size_t would = 0;
    for (std::size_t at = 0; (at = r.err.find("Would write `", at)) != std::string::npos; ++would) {
        at += 13;
        const std::string key = r.err.substr(at, r.err.find('`', at) - at);
        EXPECT_TRUE(key == "s3://site/pub/docs/deep/index.html" || key == "s3://site/pub/docs/index.html" ||
                    key == "s3://site/pub/index.html")
            << key;
    }
    EXPECT_TRUE(contains(r.err, "Would write `s3://site/pub/docs/deep/index.html`")) << r.err;
    r = cli({"s3://site/pub"});
    const std::string changed = r.err;
    EXPECT_TRUE(contains(summary(r), std::to_string(would) + (would == 1 ? " file written, " : " files written, ") +
                                         std::to_string(5 - would) + " unchanged"))
        << changed;

    // Modern pages load their script from the top of the prefix; what needs more than the
    // listing (the site search) is left out, and said so.
    r = cli({"s3://site/pub", "-sheme", "modern"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "Leaving the site search out of the bucket's pages.")) << r.err;
    EXPECT_TRUE(object("pub/index.page.js").starts_with("/* Tabulo: page script */"));
    EXPECT_TRUE(contains(object("pub/docs/deep/index.html"), "<script src=\"../../index.page.js\">"));
}

TEST_F(BucketCliTest, ListingsInPagesAndClearFailures) {
    // More keys than one listing answer holds.
    for (int i = 0; i < 1100; ++i) client->put("many/f" + std::to_string(i) + ".txt", "x", "text/plain");
    CliRun r = cli({"s3://site/many"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string page = object("many/index.html");
    EXPECT_TRUE(contains(page, "f1099.txt"));
    EXPECT_TRUE(contains(summary(r), "2 lists")) << r.err;

    r = cli({"s3://site/many"}, "WRONG");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "The access key is not known to the store")) << r.err;
    r = cli({"s3://nosuchbucket"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "There is no bucket `nosuchbucket`")) << r.err;
    r = cli({"s3://BAD_NAME"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    server.reset();  // stopped
    r = cli({"s3://site/many"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "Cannot reach http://127.0.0.1:")) << r.err;
}

TEST_F(BucketCliTest, ASlowDownIsWaitedOut) {
    // A store that answers "SlowDown" twice, then lists one object and takes every page.
    std::atomic<int> asked{0};
    ScriptedPeer store([&asked](int fd, const std::string& request) {
        std::string body;
        std::string status = "200 OK";
        if (asked++ < 2) {
            status = "503 Slow Down";
            body = "<?xml version=\"1.0\"?><Error><Code>SlowDown</Code><Message>Reduce your request rate.</Message></Error>";
        } else if (request.starts_with("GET")) {
            body = "<?xml version=\"1.0\"?><ListBucketResult><IsTruncated>false</IsTruncated><Contents><Key>a.txt</Key>"
                   "<LastModified>2026-01-02T03:04:05.000Z</LastModified><ETag>&quot;x&quot;</ETag><Size>3</Size>"
                   "</Contents></ListBucketResult>";
        }
        sendAll(fd, "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nETag: \"e\"\r\nConnection: close\r\n\r\n" + body);
    });
    CliRun r = cli({"s3://site", "--endpoint", "http://127.0.0.1:" + std::to_string(store.port()), "--jobs", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // The page, then the icons of a folder, an unknown type and a text file.
    EXPECT_TRUE(contains(summary(r), "4 files written, 0 unchanged, 0 errors; 1 list, 4 puts, 0 gets, 2 retries")) << r.err;
    const auto requests = store.requests();
    ASSERT_EQ(requests.size(), 7u);
    EXPECT_TRUE(requests[3].starts_with("PUT /site/index.html ")) << requests[3];
    EXPECT_TRUE(contains(requests[3], "Content-MD5: ")) << requests[3];
    EXPECT_TRUE(contains(requests[3], "Content-Type: text/html; charset=")) << requests[3];
    EXPECT_TRUE(contains(requests[3], "Authorization: AWS4-HMAC-SHA256 Credential=S3RVER/")) << requests[3];
    EXPECT_TRUE(requests[4].starts_with("PUT /site/pics/icons/dir.gif ")) << requests[4];
    EXPECT_TRUE(contains(requests[4], "Content-Type: image/gif")) << requests[4];
}


std::string isoTime(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &tm);
    return text;
}

// s3rver lists a folder's keys before a name that sorts before them ("a/..." before "a.txt"):
// the folders are made all the same, each page once.
TEST_F(BucketCliTest, KeysListedOutOfOrderMakeEachPageOnce) {
    for (const char* key : {"tree/a/sub/f", "tree/a/g", "tree/a.txt", "tree/a0", "tree/e.txt"})
        client->put(key, "x", "text/plain");
    CliRun r = cli({"s3://site/tree"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(summary(r), "6 files written")) << r.err;  // 3 pages and 3 icons
    EXPECT_TRUE(contains(object("tree/index.html"), "href=\"a.txt\"")) << r.err;
    EXPECT_TRUE(contains(object("tree/a/index.html"), "href=\"g\"")) << r.err;
    r = cli({"s3://site/tree"});
    EXPECT_TRUE(contains(summary(r), "0 files written, 3 unchanged, 0 errors")) << r.err;  // the icons are there
}

// The all-in-one file lands at the top of the prefix, a section for each folder in the order a
// walk meets them; no folder gets a page of its own.
TEST_F(BucketCliTest, TheAllInOneFileHoldsEveryFolder) {
    const std::string home = fs::path(root).parent_path().string() + "/home";
    fs::create_directories(home);
    std::ofstream(home + "/one.color") << "optAllInOneFile.Value=True\r\nchkAllInOneFile.Value=1\r\n";
    for (const char* key : {"pub/b/deep/x.txt", "pub/b/y.txt", "pub/a/z.txt", "pub/top.txt", "pub/b.txt"})
        client->put(key, "data", "text/plain");
    CliRun r = cli({"s3://site/pub", "-sheme", "one"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const std::string& key : keys()) EXPECT_FALSE(key.ends_with("/b/index.html") || key.ends_with("/a/index.html")) << key;
    const std::string page = object("pub/index.html");
    const auto a = page.find("z.txt"), deep = page.find("x.txt"), b = page.find("y.txt");
    ASSERT_NE(a, std::string::npos) << page;
    ASSERT_NE(deep, std::string::npos) << page;
    // Each folder before those in it: a, then b, then b/deep.
    EXPECT_LT(a, b);
    EXPECT_LT(b, deep);
    EXPECT_TRUE(contains(page, "href=\"b/deep/x.txt\"")) << page;
    EXPECT_EQ(page.find("<html"), page.rfind("<html"));
    r = cli({"s3://site/pub", "-sheme", "one"});
    EXPECT_TRUE(contains(summary(r), "0 files written, 1 unchanged")) << r.err;
}

// A user's own index.html (a site's start page, put by another program) is not replaced
// unasked; a page of ours is.
TEST_F(BucketCliTest, AUsersOwnPageIsKeptUnlessTheAnswerIsYes) {
    std::atomic<bool> ours{false};
    ScriptedPeer store([&ours](int fd, const std::string& request) {
        std::string body, extra;
        if (request.starts_with("HEAD /site/index.html ")) {
            if (ours) extra = "x-amz-meta-generator: Tabulo\r\n";
        } else if (request.starts_with("GET")) {
            body = "<?xml version=\"1.0\"?><ListBucketResult><IsTruncated>false</IsTruncated>"
                   "<Contents><Key>index.html</Key><LastModified>2026-01-02T03:04:05.000Z</LastModified>"
                   "<ETag>&quot;0123456789abcdef0123456789abcdef&quot;</ETag><Size>3</Size></Contents>"
                   "</ListBucketResult>";
        }
        sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
                        "ETag: \"e\"\r\nConnection: close\r\n\r\n" + (request.starts_with("HEAD") ? "" : body));
    });
    const std::string there = "http://127.0.0.1:" + std::to_string(store.port());
    auto putPage = [&store] {
        for (const std::string& request : store.requests())
            if (request.starts_with("PUT /site/index.html ")) return true;
        return false;
    };
    CliRun r = cli({"s3://site", "--endpoint", there});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "Keeping `s3://site/index.html` as it was: the answer is No.")) << r.err;
    EXPECT_TRUE(contains(summary(r), "0 unchanged, 1 kept, 0 errors")) << r.err;
    EXPECT_FALSE(putPage());
    r = cli({"s3://site", "--endpoint", there, "--answer", "yes"});
    EXPECT_TRUE(contains(summary(r), "1 head")) << r.err;
    EXPECT_TRUE(putPage());
    // Ours: replaced without a question, whatever the answer would be.
    ours = true;
    r = cli({"s3://site", "--endpoint", there});
    EXPECT_FALSE(contains(r.err, "Keeping")) << r.err;
    EXPECT_FALSE(contains(summary(r), "kept")) << r.err;
}

// Pages go out side by side, a connection for each job; one refused is said, the others land.
TEST_F(BucketCliTest, APutRefusedIsSaidAndTheOthersLand) {
    ScriptedPeer store([](int fd, const std::string& request) {
        std::string body, status = "200 OK";
        if (request.starts_with("PUT /site/b/index.html ")) {
            status = "403 Forbidden";
            body = "<?xml version=\"1.0\"?><Error><Code>AccessDenied</Code><Message>No.</Message></Error>";
        } else if (request.starts_with("GET")) {
            body = "<?xml version=\"1.0\"?><ListBucketResult><IsTruncated>false</IsTruncated>";
            for (const char* key : {"a/x.txt", "b/x.txt", "c/x.txt", "d/x.txt", "e/x.txt"})
                body += std::string("<Contents><Key>") + key + "</Key><LastModified>2026-01-02T03:04:05.000Z"
                        "</LastModified><ETag>&quot;e&quot;</ETag><Size>3</Size></Contents>";
            body += "</ListBucketResult>";
        }
        sendAll(fd, "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nETag: \"e\"\r\nConnection: close\r\n\r\n" + body);
    });
    CliRun r = cli({"s3://site", "--endpoint", "http://127.0.0.1:" + std::to_string(store.port()), "--jobs", "4"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "Error writing `s3://site/b/index.html`: ")) << r.err;
    // Five folders and the top, three icons: all but one written, each tried once.
    EXPECT_TRUE(contains(summary(r), "8 files written, 0 unchanged, 1 error; 1 list, 9 puts")) << r.err;
}

// The checksum column in a bucket: an object put in one part has its MD5 as its ETag; one put
// in parts is read, once.
TEST_F(BucketCliTest, ChecksumsComeFromETagsAndObjectsPutInPartsAreReadOnce) {
    const std::string home = fs::path(root).parent_path().string() + "/home";
    fs::create_directories(home);
    std::ofstream(home + "/hashes.color") << "chkColuHash.Value=1\r\n";
    std::atomic<int> reads{0};
    ScriptedPeer store([&reads](int fd, const std::string& request) {
        std::string body;
        if (request.starts_with("GET /site/big.bin ")) {
            ++reads;
            body = "hello";
        } else if (request.starts_with("GET")) {
            body = "<?xml version=\"1.0\"?><ListBucketResult><IsTruncated>false</IsTruncated>"
                   "<Contents><Key>big.bin</Key><LastModified>2026-01-02T03:04:05.000Z</LastModified>"
                   "<ETag>&quot;ffffffffffffffffffffffffffffffff-2&quot;</ETag><Size>5</Size></Contents>"
                   "<Contents><Key>one.txt</Key><LastModified>2026-01-02T03:04:05.000Z</LastModified>"
                   "<ETag>&quot;0123456789abcdef0123456789abcdef&quot;</ETag><Size>3</Size></Contents>"
                   "</ListBucketResult>";
        }
        sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\nETag: \"e\"\r\nConnection: close\r\n\r\n" + body);
    });
    const std::string endpointThere = "http://127.0.0.1:" + std::to_string(store.port());
    CliRun r = cli({"s3://site", "--endpoint", endpointThere, "-sheme", "hashes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(reads, 1);
    EXPECT_TRUE(contains(summary(r), "1 get")) << r.err;
    std::string sums;
    for (const std::string& request : store.requests()) {
        if (request.starts_with("PUT /site/MD5SUMS ")) sums = request;
        EXPECT_FALSE(request.starts_with("PUT /site/SHA256SUMS")) << "only the MD5s are known";
    }
    ASSERT_FALSE(sums.empty());
    EXPECT_TRUE(contains(sums, "Content-Type: text/plain")) << sums;
    EXPECT_TRUE(contains(sums, "5d41402abc4b2a76b9719d911017c592  big.bin")) << sums;  // "hello"
    EXPECT_TRUE(contains(sums, "0123456789abcdef0123456789abcdef  one.txt")) << sums;
    // Read again from the cache of digests, keyed by the object's ETag.
    r = cli({"s3://site", "--endpoint", endpointThere, "-sheme", "hashes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(reads, 1);
    EXPECT_TRUE(contains(summary(r), "0 gets")) << r.err;
}

// An inventory of a million rows lists a sample of them as the store does: the same pages.
TEST_F(BucketCliTest, AnInventoryMakesThePagesTheListingMakes) {
    // The sample, with keys an inventory must decode.
    std::vector<std::string> sample;
    for (int i = 0; i < 10000; ++i)
        sample.push_back("sample/d" + std::to_string(i % 40) + "/e" + std::to_string(i % 7) + "/f" + std::to_string(i) +
                         (i % 500 == 0 ? " plus+percent%.txt" : ".txt"));
    std::vector<std::thread> putters;
    for (std::size_t t = 0; t < 4; ++t) {
        putters.emplace_back([this, t, &sample] {
            S3Client own(client->place());
            for (std::size_t i = t; i < sample.size(); i += 4) own.put(sample[i], "x", "text/plain");
        });
    }
    for (auto& t : putters) t.join();

    // The inventory: the sample as the store lists it, amid a million rows of other keys, in
    // no order, over gzip'd files.
    const fs::path dest = fs::path(root).parent_path() / "inventory";
    fs::create_directories(dest / "site/all/data");
    fs::create_directories(dest / "site/all/2026-12-01T00-00Z");
    std::vector<std::string> rows;
    std::optional<std::string> next;
    do {
        auto page = client->list("sample/", "", next);
        for (const BucketObject& o : page.objects) {
            const std::string key = replaceAll(percentEncode(o.key, kUnreservedBytes.with("/ ")), " ", "+");
            rows.push_back("\"site\",\"" + key + "\",\"" + std::to_string(static_cast<long long>(o.size)) + "\",\"" +
                           isoTime(o.mtime) + "\",\"" + o.etag + "\"\n");
        }
        next = page.next;
    } while (next);
    ASSERT_EQ(rows.size(), sample.size());
    for (int i = 0; rows.size() < 1'000'000; ++i)
        rows.push_back("\"site\",\"other/p" + std::to_string(i % 997) + "/k" + std::to_string(i) +
                       "\",\"12\",\"2026-01-01T00:00:00.000Z\",\"00000000000000000000000000000000\"\n");
    std::reverse(rows.begin(), rows.end());
    std::string files;
    for (int part = 0; part < 3; ++part) {
        const std::string name = "part" + std::to_string(part) + ".csv.gz";
        gzFile out = gzopen((dest / "site/all/data" / name).c_str(), "wb1");
        for (std::size_t i = static_cast<std::size_t>(part); i < rows.size(); i += 3)
            gzwrite(out, rows[i].data(), static_cast<unsigned>(rows[i].size()));
        gzclose(out);
        files += std::string(files.empty() ? "" : ", ") + "{\"key\": \"site/all/data/" + name + "\"}";
    }
    const std::string manifest = (dest / "site/all/2026-12-01T00-00Z/manifest.json").string();
    std::ofstream(manifest) << "{\"sourceBucket\": \"site\", \"fileFormat\": \"CSV\", "
                               "\"fileSchema\": \"Bucket, Key, Size, LastModifiedDate, ETag\", \"files\": [" << files << "]}";

    CliRun r = cli({"s3://site/sample"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> pages;
    for (const std::string& key : keys())
        if (key.ends_with("index.html")) pages[key] = object(key);
    ASSERT_EQ(pages.size(), 1u + 40 + 40 * 7);  // every folder d has every e
    r = cli({"s3://site/sample", "--inventory", manifest});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The inventory knew none of the pages: each is put again, with the bytes it had.
    EXPECT_TRUE(contains(summary(r), "0 lists, 324 puts")) << r.err;
    for (const auto& [key, bytes] : pages) EXPECT_EQ(object(key), bytes) << key;

    // The same inventory read from the store itself, its files checked against their MD5s.
    std::string stored;
    for (int part = 0; part < 3; ++part) {
        const std::string name = "part" + std::to_string(part) + ".csv.gz";
        const std::string bytes = readFile((dest / "site/all/data" / name).string());
        client->put("inv/site/all/data/" + name, bytes, "application/gzip");
        stored += std::string(stored.empty() ? "" : ", ") + "{\"key\": \"inv/site/all/data/" + name +
                  "\", \"MD5checksum\": \"" + Md5Hex(bytes) + "\"}";
    }
    client->put("inv/site/all/2026-12-01T00-00Z/manifest.json",
                "{\"sourceBucket\": \"site\", \"fileFormat\": \"CSV\", "
                "\"fileSchema\": \"Bucket, Key, Size, LastModifiedDate, ETag\", \"files\": [" + stored + "]}",
                "application/json");
    r = cli({"s3://site/sample", "--inventory", "s3://site/inv/site/all/2026-12-01T00-00Z/manifest.json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(summary(r), "0 lists, 324 puts, 4 gets")) << r.err;
    for (const auto& [key, bytes] : pages) EXPECT_EQ(object(key), bytes) << key;
}

}  // namespace
}  // namespace tabulo::test
