#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "common/Text.h"
#include "checksums/FileHashes.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class HashColumnTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        set("chkColuHash", "1");
        set("chkReplaceOlda", "1");  // runs again over their own pages
    }
    int shell(const std::string& command) {
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(HashColumnTest, ChecksumFilesThatMd5sumAndSha256sumAccept) {
    const std::vector<std::string> names = {"plain.txt", "with blank.txt", "caf\xC3\xA9.txt", "-n",
                                            "--help",    "back\\slash",    "new\nline",       "bad\xFF.bin"};
    for (const auto& n : names) {
        writeFile("site/" + n, "content of " + n);
        writeFile("site/sub/" + n, n);
    }
    go("site");
    for (const char* folder : {"site", "site/sub"}) {
        for (const char* tool : {"md5sum -c --quiet MD5SUMS", "sha256sum -c --quiet SHA256SUMS"}) {
            EXPECT_EQ(shell("cd '" + path(folder) + "' && " + tool + " >/dev/null"), 0) << folder << tool;
        }
        std::string md5 = readFile(path(std::string(folder) + "/MD5SUMS"));
        EXPECT_EQ(std::count(md5.begin(), md5.end(), '\n'), static_cast<long>(names.size()))
            << md5;  // a line feed in a name is written escaped
        EXPECT_FALSE(contains(md5, "index.html"));  // left off the page, so off the list
    }
    // The cell shows the MD5 and leads to the list.
    std::string page = readFile(path("site/index.html"));
    EXPECT_TRUE(contains(page, "<td><a href=\"MD5SUMS\">" + HashFile(path("site/plain.txt"))->md5 +
                                   "</a></td>"));
    // A second run lists the checksum files, without checksums of their own.
    go("site");
    page = readFile(path("site/index.html"));
    EXPECT_TRUE(contains(page, " MD5SUMS</a></td><td></td>"));
    EXPECT_EQ(shell("cd '" + path("site") + "' && md5sum -c --quiet MD5SUMS >/dev/null"), 0);
}

TEST_F(HashColumnTest, ARerunOverUnchangedFilesReadsNoContent) {
    for (int i = 0; i < 20; ++i) {
        writeFile("site/f" + std::to_string(i) + ".bin", std::string(1000 + i, 'x'));
        setTime("site/f" + std::to_string(i) + ".bin", 1600000000 + i);
    }
    select("optPageModern");
    select("optIconsRemote");  // no icon folder to read between the runs
    go("site");
    const std::uint64_t afterFirst = FileContentReads();
    go("site");
    EXPECT_EQ(FileContentReads(), afterFirst);  // every digest came from the cache
    // The same size, another content and time: read again, and the page shows the new digest.
    writeFile("site/f3.bin", std::string(1003, 'y'));
    setTime("site/f3.bin", 1700000000);
    go("site");
    EXPECT_EQ(FileContentReads(), afterFirst + 1);
    const std::string md5 = HashFile(path("site/f3.bin"))->md5;
    EXPECT_TRUE(contains(readFile(path("site/index.html")),
                         "<td class=\"hash\"><a href=\"MD5SUMS\" title=\"" + md5 + "\"><code>" +
                             md5.substr(0, 8) + "</code><code class=\"rest\">" + md5.substr(8) +
                             "</code></a><button type=\"button\" class=\"copy\" data-copy=\"" + md5 +
                             "\" aria-label=\"Copy the MD5 checksum\" hidden>Copy</button></td>"));
}

}  // namespace
}  // namespace tabulo::test
