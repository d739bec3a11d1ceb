#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "checksums/FileHashes.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo {
namespace {

constexpr std::time_t kLongAgo = 1'600'000'000;

class FileHashesTest : public test::FolderTest {
  protected:
    // An old file: recent ones are hashed every time, never remembered.
    std::string oldFile(const std::string& name, const std::string& content) {
        writeFile(name, content);
        setTime(name, kLongAgo);
        return path(name);
    }
    // What a command prints on its standard output.
    static std::string output(const std::string& command) {
        std::string out;
        FILE* pipe = ::popen(command.c_str(), "r");
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
        ::pclose(pipe);
        return out;
    }
    // The cache key of a file as the cache file writes it.
    static std::string keyOf(const std::string& file) {
        struct stat st;
        ::stat(file.c_str(), &st);
        return std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + " " +
               std::to_string(st.st_size) + " " +
               std::to_string(st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec);
    }
    std::string cacheFile() const { return home() + "/hash-cache"; }
};

TEST_F(FileHashesTest, KnownDigestsInOnePassOfLargeBlocks) {
    EXPECT_EQ(HashFile(writeFile("empty")),
              (FileDigest{"d41d8cd98f00b204e9800998ecf8427e",
                          "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"}));
    EXPECT_EQ(HashFile(writeFile("abc", "abc")),
              (FileDigest{"900150983cd24fb0d6963f7d28e17f72",
                          "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}));

    std::string big(3 * 1024 * 1024 + 12345, '\0');
    std::mt19937 rng(7);
    for (char& c : big) c = static_cast<char>(rng());
    std::string file = writeFile("big.bin", big);
    std::vector<std::uint64_t> blocks;
    auto before = FileContentReads();
    auto digest = HashFile(file, [&](std::uint64_t n) { blocks.push_back(n); });
    EXPECT_EQ(FileContentReads(), before + 1);
    ASSERT_TRUE(digest);
    EXPECT_EQ(digest->md5 + "  " + file + "\n", output("md5sum " + file));
    EXPECT_EQ(digest->sha256 + "  " + file + "\n", output("sha256sum " + file));
    EXPECT_EQ(blocks, (std::vector<std::uint64_t>{1 << 20, 1 << 20, 1 << 20, 12345}));
}

TEST_F(FileHashesTest, NothingForWhatIsNoOrdinaryFileOrChangesWhileRead) {
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0644), 0);
    makeFolder("folder");
    fs::create_symlink("nowhere", path("dangling"));
    fs::create_symlink("abc", path("link"));
    writeFile("abc", "abc");
    HashCache cache;
    auto before = FileContentReads();
    for (const char* name : {"pipe", "folder", "dangling", "missing"}) {
        EXPECT_FALSE(HashFile(path(name))) << name;
        EXPECT_FALSE(cache.digestOf(AT_FDCWD, path(name))) << name;
    }
    EXPECT_EQ(FileContentReads(), before);
    EXPECT_EQ(HashFile(path("link")), HashFile(path("abc")));  // links followed
    EXPECT_TRUE(HashFile(path("link")));

    // Written to between two blocks: grown, or rewritten in place at the same size.
    std::string file = oldFile("moving", std::string(3 << 20, 'x'));
    auto grow = [&](std::uint64_t) { std::ofstream(file, std::ios::app) << "y"; };
    EXPECT_FALSE(HashFile(file, grow));
    EXPECT_FALSE(cache.digestOf(AT_FDCWD, file, grow));
    setTime("moving", kLongAgo);
    auto rewrite = [&](std::uint64_t) {
        std::fstream(file, std::ios::in | std::ios::out | std::ios::binary) << "z";
    };
    EXPECT_FALSE(cache.digestOf(AT_FDCWD, file, rewrite));
    EXPECT_EQ(cache.size(), 0u);
}

TEST_F(FileHashesTest, SumsFilesPassCoreutilsChecks) {
    std::vector<std::string> names = {
        "plain.txt",     "with blanks  two", "Grüße €.txt", "latin1-\xe9t\xe9", "-n", "-",
        "--help",        "back\\slash",      "new\nline",   "carriage\rreturn", "ends in cr\r",
        "\\\\both\n\r\\"};
    std::vector<std::pair<std::string, std::string>> md5, sha256;
    for (const std::string& name : names) {
        auto digest = HashFile(writeFile(name, "content of " + name));
        ASSERT_TRUE(digest) << name;
        md5.emplace_back(name, digest->md5);
        sha256.emplace_back(name, digest->sha256);
    }
    writeFile("MD5SUMS", SumsFileText(md5));
    writeFile("SHA256SUMS", SumsFileText(sha256));
    std::string in = "cd " + root + " && ";
    EXPECT_EQ(std::system((in + "md5sum --strict -c MD5SUMS >/dev/null 2>&1").c_str()), 0);
    EXPECT_EQ(std::system((in + "sha256sum --strict -c SHA256SUMS >/dev/null 2>&1").c_str()), 0);
    // The escaped form, byte for byte as md5sum itself writes it.
    EXPECT_EQ(SumsFileText({{"x\\y", "0cc175b9c0f1b6a831c399e269772661"}, {"a b", "00"}}),
              "\\0cc175b9c0f1b6a831c399e269772661  x\\\\y\n00  a b\n");
    // Standard input and options are never what a line names.
    EXPECT_EQ(SumsFileText({{"-", "00"}, {"--help", "11"}, {"a-", "22"}}),
              "00  ./-\n11  ./--help\n22  a-\n");
    // A wrong sum fails the check: it really reads the listed files.
    writeFile("-n", "changed");
    EXPECT_NE(std::system((in + "md5sum --strict -c MD5SUMS >/dev/null 2>&1").c_str()), 0);
}

TEST_F(FileHashesTest, CachedRunReadsNoContentUntilAFileChanges) {
    std::vector<std::string> files;
    std::vector<std::optional<FileDigest>> digests;
    for (int i = 0; i < 5; ++i) {
        files.push_back(oldFile("f" + std::to_string(i), "file " + std::to_string(i)));
        digests.push_back(HashFile(files.back()));
    }
    auto reads = FileContentReads();
    {
        HashCache cache;
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = 0; i < 5; ++i) EXPECT_EQ(cache.digestOf(AT_FDCWD, files[i]), digests[i]);
        }
        EXPECT_EQ(FileContentReads(), reads + 5);
        cache.save();
    }
    HashCache reloaded;
    EXPECT_EQ(reloaded.size(), 5u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(reloaded.digestOf(AT_FDCWD, files[i]), digests[i]);
    EXPECT_EQ(FileContentReads(), reads + 5);

    setTime("f1", kLongAgo + 1);  // touched: same bytes, read again, then remembered
    EXPECT_EQ(reloaded.digestOf(AT_FDCWD, files[1]), digests[1]);
    EXPECT_EQ(reloaded.digestOf(AT_FDCWD, files[1]), digests[1]);
    EXPECT_EQ(FileContentReads(), reads + 6);

    // New bytes of the same size: read again; while that is recent, read every time.
    writeFile("f2", "file X");
    auto changed = HashFile(files[2]);
    EXPECT_NE(changed, digests[2]);
    reads = FileContentReads();
    EXPECT_EQ(reloaded.digestOf(AT_FDCWD, files[2]), changed);
    EXPECT_EQ(reloaded.digestOf(AT_FDCWD, files[2]), changed);
    EXPECT_EQ(FileContentReads(), reads + 2);
}

TEST_F(FileHashesTest, DamagedCacheLinesAreSkippedNeverTrusted) {
    std::string a = oldFile("a", "aaa"), b = oldFile("b", "bbb");
    FileDigest good = HashFile(b).value();
    // Every line but one names file a with a wrong digest, damaged some way.
    std::string ka = keyOf(a), z32(32, '0'), z64(64, '0'), text;
    for (const std::string& line : std::vector<std::string>{
             "garbage", "\x01\xff\xfe", "", ka + " " + z32.substr(1) + " " + z64,
             ka + " " + z32 + " " + z64.substr(1) + "g",
             ka + " " + std::string(32, 'A') + " " + z64, ka + " " + z32 + " " + z64 + " extra",
             ka + "  " + z32 + " " + z64, "-" + ka + " " + z32 + " " + z64, ka + " " + z32,
             keyOf(b) + " " + good.md5 + " " + good.sha256}) {
        text += line + "\n";
    }
    writeFile("../home/hash-cache", text + ka + " " + z32 + " " + z64);  // cut short
    HashCache cache;
    EXPECT_EQ(cache.size(), 1u);
    auto reads = FileContentReads();
    EXPECT_EQ(cache.digestOf(AT_FDCWD, a), HashFile(a));
    EXPECT_EQ(cache.digestOf(AT_FDCWD, b), good);
    EXPECT_EQ(FileContentReads(), reads + 2);  // a twice (cache and check), b not at all

    writeFile("../home/hash-cache", std::string(5000, '\xff'));
    EXPECT_EQ(HashCache().size(), 0u);
}

TEST_F(FileHashesTest, SaveReplacesTheFileWholeAndKeepsTheUsedFirst) {
    std::vector<std::string> files;
    for (char c : std::string("ABCDE"))
        files.push_back(oldFile(std::string(1, c), std::string(1, c)));
    struct stat first, second;
    {
        HashCache cache(3);
        for (int i = 0; i < 4; ++i) cache.digestOf(AT_FDCWD, files[i]);  // A B C D
        cache.save();                                          // D C B: the latest used
        ASSERT_EQ(::stat(cacheFile().c_str(), &first), 0);
    }
    {
        HashCache cache(3);
        EXPECT_EQ(cache.size(), 3u);
        cache.digestOf(AT_FDCWD, files[1]);  // B, the last line, and E: used; then the oldest line, D
        cache.digestOf(AT_FDCWD, files[4]);
        cache.save();
        ASSERT_EQ(::stat(cacheFile().c_str(), &second), 0);
    }
    EXPECT_NE(first.st_ino, second.st_ino);  // renamed into place, never rewritten
    EXPECT_EQ(std::distance(fs::directory_iterator(home()), {}), 1);  // no temporary left
    auto reads = FileContentReads();
    HashCache cache(3);
    for (int i : {4, 3, 1}) cache.digestOf(AT_FDCWD, files[i]);
    EXPECT_EQ(FileContentReads(), reads);
    cache.digestOf(AT_FDCWD, files[2]);
    EXPECT_EQ(FileContentReads(), reads + 1);
}

TEST_F(FileHashesTest, KilledSaveLeavesTheOldFileOrTheNew) {
    // A big cache, so that a save takes a while: every line in the file's own form.
    std::string old;
    for (int i = 0; i < 50000; ++i) {
        old += std::to_string(i) + " 1 2 3 " + std::string(32, 'a') + " " + std::string(64, 'b') +
               "\n";
    }
    writeFile("../home/hash-cache", old);
    const std::string added = oldFile("added", "x");
    {
        HashCache cache;
        cache.digestOf(AT_FDCWD, added);
        cache.save();  // one line more, the same lines under a header line, each with its day
    }
    std::string saved = test::readFile(cacheFile());
    ASSERT_NE(saved, old);
    for (int delayMs : {0, 1, 5, 15}) {
        writeFile("../home/hash-cache", old);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        pid_t child = ::fork();
        if (child == 0) {
            HashCache cache;
            cache.digestOf(AT_FDCWD, added);
            (void)!::write(ready[1], "x", 1);
            cache.save();
            ::_exit(0);
        }
        char x;
        ASSERT_EQ(::read(ready[0], &x, 1), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        std::string now = test::readFile(cacheFile());
        EXPECT_TRUE(now == old || now == saved) << delayMs << " ms: " << now.size() << " bytes";
    }
    HashCache beside;  // what a killed save left stays beside it
    beside.digestOf(AT_FDCWD, added);
    beside.save();
    EXPECT_EQ(test::readFile(cacheFile()), saved);
}

TEST_F(FileHashesTest, OnlySettledFilesAreRemembered) {
    const std::string file = writeFile("f", "content");
    auto secondsAgo = [&](int seconds) {
        struct timespec now;
        ::clock_gettime(CLOCK_REALTIME, &now);
        now.tv_sec -= seconds;
        struct timespec times[2] = {now, now};
        ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    };
    HashCache cache;
    // Changed a second ago: a change within the clock's tick could still keep its time.
    secondsAgo(1);
    auto reads = FileContentReads();
    cache.digestOf(AT_FDCWD, file);
    cache.digestOf(AT_FDCWD, file);
    EXPECT_EQ(FileContentReads(), reads + 2);
    EXPECT_EQ(cache.size(), 0u);
    secondsAgo(10);
    cache.digestOf(AT_FDCWD, file);
    cache.digestOf(AT_FDCWD, file);
    EXPECT_EQ(FileContentReads(), reads + 3);
    EXPECT_EQ(cache.size(), 1u);
}

TEST_F(FileHashesTest, TheCacheStaysBoundedAndIsWrittenOnlyWhenItChanged) {
    std::string a = oldFile("a", "aaa"), b = oldFile("b", "bbb"), c = oldFile("c", "ccc");
    const FileDigest da = HashFile(a).value(), db = HashFile(b).value(), dc = HashFile(c).value();
    std::int64_t today = 20000;
    auto line = [&](const std::string& file, const FileDigest& d, std::string day) {
        return keyOf(file) + " " + d.md5 + " " + d.sha256 + (day.empty() ? "" : " " + day) + "\n";
    };
    // An entry of an older cache (no day), one used lately, one unused for too long.
    writeFile("../home/hash-cache", line(a, da, "") + line(b, db, std::to_string(today - 10)) +
                                        line(c, dc, std::to_string(today - HashCache::kKeepDays - 1)));
    {
        HashCache cache(HashCache::kMaxEntries, [&] { return today; });
        EXPECT_EQ(cache.size(), 3u);
        cache.save();  // something to drop: written
    }
    std::string saved = test::readFile(cacheFile());
    EXPECT_EQ(saved.find(keyOf(c)), std::string::npos);
    EXPECT_NE(saved.find(line(a, da, std::to_string(today))), std::string::npos);
    EXPECT_NE(saved.find(line(b, db, std::to_string(today - 10))), std::string::npos);
    struct stat before, after;
    ASSERT_EQ(::stat(cacheFile().c_str(), &before), 0);
    {
        HashCache cache(HashCache::kMaxEntries, [&] { return today; });
        EXPECT_EQ(cache.digestOf(AT_FDCWD, a), da);  // used again the same day: nothing new
        cache.save();
    }
    ASSERT_EQ(::stat(cacheFile().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);  // not written again
    {
        HashCache cache(HashCache::kMaxEntries, [&] { return today + 1; });
        cache.digestOf(AT_FDCWD, b);  // a day later: its day moves on
        cache.save();
    }
    EXPECT_NE(test::readFile(cacheFile()).find(line(b, db, std::to_string(today + 1))),
              std::string::npos);

    // A cache file too large to read is left aside and said, and the next save replaces it.
    ASSERT_EQ(::truncate(cacheFile().c_str(), HashCache::kMaxFileBytes + 1), 0);
    HashCache huge;
    EXPECT_EQ(huge.size(), 0u);
    EXPECT_EQ(huge.loadNote(), "Skipping the checksum cache `" + cacheFile() +
                                   "`: it is larger than 256 MiB.");
    huge.save();
    EXPECT_LT(fs::file_size(cacheFile()), 1000u);
}

TEST_F(FileHashesTest, ManyThreadsLookUpTheSameFiles) {
    std::vector<std::string> files;
    std::vector<std::optional<FileDigest>> expected;
    for (int i = 0; i < 50; ++i) {
        files.push_back(oldFile("f" + std::to_string(i), std::string(i * 1000, 'a' + i % 26)));
        expected.push_back(HashFile(files.back()));
    }
    HashCache cache;
    auto reads = FileContentReads();
    std::vector<std::vector<std::optional<FileDigest>>> seen(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) seen[t].push_back(cache.digestOf(AT_FDCWD, files[(i + t * 7) % 50]));
            if (t == 3) cache.save();
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) {
        for (int i = 0; i < 50; ++i) EXPECT_EQ(seen[t][i], expected[(i + t * 7) % 50]);
    }
    EXPECT_GE(FileContentReads(), reads + 50);
    EXPECT_LE(FileContentReads(), reads + 8 * 50);
    EXPECT_EQ(cache.size(), 50u);
}

}  // namespace
}  // namespace tabulo
