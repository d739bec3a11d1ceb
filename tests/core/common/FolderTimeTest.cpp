#include "common/FolderTime.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "common/Descriptor.h"
#include "common/TextFile.h"
#include "support/Fixture.h"

namespace tabulo::test {
namespace {

class FolderTimeTest : public FolderTest {
  protected:
    void SetUp() override {
        FolderTest::SetUp();
        makeFolder("f");
        setTime("f", 1500000000);
        folder.reset(::open(path("f").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(folder);
    }
    timespec time() const {
        struct stat st;
        ::stat(path("f").c_str(), &st);
        return st.st_mtim;
    }
    bool keptItsTime() const { return time().tv_sec == 1500000000 && time().tv_nsec == 0; }
    void write(const std::string& name, const std::string& bytes) {
        TextFile file(folder.get(), name, path("f/" + name), Unmappable::KeepUtf8);
        file.writeRaw(bytes);
        file.commit();
    }

    Descriptor folder;
};

TEST_F(FolderTimeTest, OwnWritesLeaveTheFolderItsTime) {
    write("index.html", "one");  // a new file, through a temporary one
    EXPECT_TRUE(keptItsTime());
    write("index.html", "two");  // replaced
    EXPECT_TRUE(keptItsTime());
    {
        // A write that fails half-way removes its temporary file: no trace either.
        TextFile dropped(folder.get(), "other.html", path("f/other.html"), Unmappable::KeepUtf8);
        dropped.writeRaw(std::string(100000, 'x'));
    }
    EXPECT_TRUE(keptItsTime());
    EXPECT_FALSE(std::filesystem::exists(path("f/other.html")));
    EXPECT_EQ(changeKeepingTime(folder.get(), [&] { return ::mkdirat(folder.get(), "sub", 0777); }), 0);
    EXPECT_TRUE(keptItsTime());
}

TEST_F(FolderTimeTest, AChangeByAnyoneElseKeepsItsTime) {
    {
        KeptFolderTime kept(folder.get());
        kept.change([&] { return ::mkdirat(folder.get(), "ours", 0777); });
        writeFile("f/theirs.txt");  // not through a keeper: someone else's
    }
    EXPECT_FALSE(keptItsTime());
    // Someone else first, then ours: the folder shows their change, not its old time.
    setTime("f", 1500000000);
    {
        KeptFolderTime kept(folder.get());
        writeFile("f/theirs2.txt");
        kept.change([&] { return ::mkdirat(folder.get(), "ours2", 0777); });
    }
    EXPECT_FALSE(keptItsTime());
}

TEST_F(FolderTimeTest, TheLastOfSeveralWritersPutsTheTimeBack) {
    {
        KeptFolderTime outer(folder.get());
        outer.change([&] { return ::mkdirat(folder.get(), "a", 0777); });
        {
            KeptFolderTime inner(folder.get());
            inner.change([&] { return ::mkdirat(folder.get(), "b", 0777); });
        }
        EXPECT_FALSE(keptItsTime());  // the outer one still writes
        outer.change([&] { return ::mkdirat(folder.get(), "c", 0777); });
    }
    EXPECT_TRUE(keptItsTime());
    // Threads writing into one folder at once count as one writer, not as strangers.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) write("t" + std::to_string(t) + "-" + std::to_string(i), "x");
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_TRUE(keptItsTime());
}

}  // namespace
}  // namespace tabulo::test
