#include "state/PageState.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

class PageStateTest : public FolderTest {
  protected:
    std::string file() const { return home() + "/page-state/tree"; }
    static PageState::Page page(std::uint64_t input, std::vector<std::string> icons = {"dir"}) {
        return {input, input * 3, static_cast<double>(input) * 1.5, std::move(icons), input * 5, input * 7};
    }
    std::string bytes() const { return readFile(file()); }
    void put(const std::string& content) const {
        std::ofstream(file(), std::ios::binary | std::ios::trunc) << content;
    }
    // A state of three folders, saved.
    void saveThree() const {
        PageState state(file(), 7);
        state.keep(1, page(10, {}));
        state.keep(2, page(20, {""}));
        state.keep(3, page(30, {"dir", "mp3", "unknown"}));
        state.save(true);
    }
};

TEST_F(PageStateTest, KeptPagesComeBackForTheSameInputsOnly) {
    saveThree();
    PageState state(file(), 7);
    EXPECT_EQ(state.find(1, 10), page(10, {}));
    EXPECT_EQ(state.find(2, 20), page(20, {""}));  // one empty name is no empty list
    EXPECT_EQ(state.find(3, 30), page(30, {"dir", "mp3", "unknown"}));
    EXPECT_FALSE(state.find(3, 31));  // made of something else now
    EXPECT_FALSE(state.find(4, 40));
    EXPECT_FALSE(state.find(0, 0));
    // Another tree, other options or another build: nothing of it is trusted.
    EXPECT_FALSE(PageState(file(), 8).find(1, 10));
}

// Keys are hashes; a state of many folders finds each of them, and nothing else, whatever the
// spread of the keys.
TEST_F(PageStateTest, EveryKeyOfALargeStateIsFound) {
    std::mt19937_64 random(25);
    std::vector<std::uint64_t> keys;
    for (int i = 0; i < 5000; ++i) keys.push_back(random());
    for (std::uint64_t i = 1; i <= 300; ++i) keys.push_back(i);  // crowded at one end
    for (std::uint64_t i = 0; i < 300; ++i) keys.push_back(~i);  // and at the other
    {
        PageState state(file(), 7);
        for (std::uint64_t key : keys) state.keep(key, page(key | 1, {}));
        state.save(true);
    }
    PageState state(file(), 7);
    for (std::uint64_t key : keys) EXPECT_EQ(state.find(key, key | 1), page(key | 1, {})) << key;
    for (int i = 0; i < 2000; ++i) EXPECT_FALSE(state.find(random(), 0));
    EXPECT_FALSE(state.find(0, 1));
    EXPECT_FALSE(state.find(1000, 1001));
}

TEST_F(PageStateTest, AnUnchangedStateIsNotWrittenAgain) {
    saveThree();
    struct stat before;
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
    {
        PageState state(file(), 7);
        for (std::uint64_t key : {1, 2, 3}) ASSERT_TRUE(state.find(key, key * 10));
        state.keep(2, page(20, {""}));  // written again, the same
        state.save(true);
    }
    struct stat after;
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    // A change is written, the last word on a folder counting.
    {
        PageState state(file(), 7);
        state.keep(2, page(21));
        state.keep(2, page(22));
        state.save(false);
    }
    EXPECT_EQ(PageState(file(), 7).find(2, 22), page(22));
    EXPECT_EQ(PageState(file(), 7).find(1, 10), page(10, {}));
}

TEST_F(PageStateTest, AWholeWalkDropsTheFoldersItDidNotSee) {
    saveThree();
    {
        // A walk of one folder keeps the others.
        PageState state(file(), 7);
        state.find(1, 10);
        state.keep(5, page(50));
        state.save(false);
    }
    EXPECT_TRUE(PageState(file(), 7).find(3, 30));
    EXPECT_TRUE(PageState(file(), 7).find(5, 50));
    {
        // A whole walk that saw 3 (even made of other things now) and wrote 4.
        PageState state(file(), 7);
        state.find(3, 99);
        state.keep(4, page(40));
        state.save(true);
    }
    PageState state(file(), 7);
    EXPECT_FALSE(state.find(1, 10));
    EXPECT_FALSE(state.find(2, 20));
    EXPECT_FALSE(state.find(5, 50));
    EXPECT_TRUE(state.find(3, 30));
    EXPECT_TRUE(state.find(4, 40));
}

// Whatever happened to the file, it is a state of nothing, and the next save makes it whole.
TEST_F(PageStateTest, ADamagedFileIsAnEmptyState) {
    saveThree();
    const std::string good = bytes();
    std::vector<std::string> damaged{"", "TBPAGES1", std::string(good.size(), '\0'),
                                     good + "x", good.substr(0, good.size() - 1)};
    // Every byte flipped in turn, the counts and the icon lists included.
    for (std::size_t i = 0; i < good.size(); ++i) {
        std::string flipped = good;
        flipped[i] = static_cast<char>(flipped[i] ^ 0x10);
        damaged.push_back(flipped);
    }
    for (std::size_t cut = 1; cut < good.size(); cut += 13) damaged.push_back(good.substr(0, cut));
    for (const std::string& content : damaged) {
        put(content);
        PageState state(file(), 7);
        for (std::uint64_t key : {1, 2, 3})
            EXPECT_FALSE(state.find(key, key * 10)) << "trusted a damaged file of " << content.size() << " bytes";
    }
    fs::remove(file());
    fs::create_directory(file());  // a folder in its place: nothing to read, and a clear error
    PageState state(file(), 7);
    EXPECT_FALSE(state.find(1, 10));
    state.keep(1, page(10));
    EXPECT_THROW(state.save(true), std::system_error);
}

TEST_F(PageStateTest, TheOutputPrintSeesEveryChangeOfTheFiles) {
    const std::string folder = makeFolder("f");
    writeFile("f/index.html", "<p>page</p>");
    writeFile("f/index.json", "{}");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::vector<std::string> names{"index.html", "index.json"};
    const std::uint64_t first = OutputPrint(fd, names);
    EXPECT_EQ(OutputPrint(fd, names), first);
    EXPECT_NE(OutputPrint(fd, {"index.html"}), first);
    EXPECT_NE(OutputPrint(fd, {"index.json", "index.html"}), first);
    // The same size and time, another byte: the change time tells.
    struct stat st;
    ASSERT_EQ(::stat(path("f/index.html").c_str(), &st), 0);
    {
        std::fstream page(path("f/index.html"), std::ios::in | std::ios::out | std::ios::binary);
        page.seekp(3);
        page.put('P');
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path("f/index.html").c_str(), times, 0), 0);
    EXPECT_NE(OutputPrint(fd, names), first);
    const std::uint64_t edited = OutputPrint(fd, names);
    fs::remove(path("f/index.json"));
    EXPECT_NE(OutputPrint(fd, names), edited);
    ::close(fd);
}

}  // namespace
}  // namespace tabulo::test
