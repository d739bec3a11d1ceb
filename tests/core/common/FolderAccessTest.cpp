#include "common/FolderAccess.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "common/Faults.h"
#include "support/Fixture.h"

namespace fs = std::filesystem;

namespace tabulo::test {
namespace {

// Each case twice: through the kernel's resolver and through the walk that stands in for it.
class FolderAccessTest : public FolderTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        FolderTest::SetUp();
        ::setenv("TABULO_FAULTS", GetParam() ? "" : "openat2", 1);
        resetInjectedFaults();
        above = fs::path(root).parent_path().string();
        fs::create_directories(above + "/outside");
        writeFile("a/b/c/x.txt");
        top = Descriptor(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    void TearDown() override {
        ::unsetenv("TABULO_FAULTS");
        resetInjectedFaults();
        FolderTest::TearDown();
    }
    FolderId idAt(const std::string& folder) {
        Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY));
        return idOf(fd.get());
    }
    // The error `openBeneath` throws, as its message; empty when it opened `expected`.
    std::string open(const std::string& relative, bool follow, const std::string& expected = "") {
        try {
            Descriptor fd = openBeneath(top.get(), relative, follow);
            return expected.empty() || idOf(fd.get()) == idAt(expected) ? "" : "another folder";
        } catch (const std::system_error& e) {
            return e.code().message();
        }
    }
    std::string above;
    Descriptor top;
};

TEST_P(FolderAccessTest, NothingAboveTheRootIsEverOpened) {
    EXPECT_EQ(open("a/b/c", false, path("a/b/c")), "");
    EXPECT_EQ(open("", false, root), "");
    EXPECT_EQ(open("a/./b//c/", false, path("a/b/c")), "");
    EXPECT_EQ(open("a/b/..", true, path("a")), "");
    const std::string out = "it leads outside the folder being indexed";
    EXPECT_EQ(open("..", true), out);
    EXPECT_EQ(open("a/../..", true), out);
    EXPECT_EQ(open("a/../../site", true), out);  // back in by name: still out of bounds

    // Links: inside is fine where they may be followed; out is never.
    fs::create_directory_symlink("b/c", path("a/in"));
    fs::create_directory_symlink("../../outside", path("a/out"));
    fs::create_directory_symlink(above + "/outside", path("a/abs"));
    fs::create_directory_symlink("../../site2", path("a/sibling"));
    fs::create_directories(above + "/site2");
    EXPECT_EQ(open("a/in", true, path("a/b/c")), "");
    EXPECT_EQ(open("a/in", false), "it was replaced while the run went on");
    for (const char* link : {"a/out", "a/abs", "a/sibling"}) {
        EXPECT_EQ(open(link, true), out) << link;
        EXPECT_EQ(open(std::string(link) + "/..", true), out) << link;
    }
    EXPECT_EQ(open("a/missing", true), "No such file or directory");
    EXPECT_EQ(open("a/b/c/x.txt", true), "Not a directory");
}

TEST_P(FolderAccessTest, WhereAnOpenFolderLies) {
    Descriptor c = openBeneath(top.get(), "a/b/c", false);
    EXPECT_TRUE(isBeneath(c.get(), idAt(root)));
    EXPECT_TRUE(isBeneath(c.get(), idAt(path("a/b/c"))));
    EXPECT_FALSE(isBeneath(top.get(), idAt(path("a"))));
    Descriptor outside(::open((above + "/outside").c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_FALSE(isBeneath(outside.get(), idAt(root)));
    EXPECT_EQ(pathOfFolder(c.get()), fs::canonical(path("a/b/c")).string());
    // Moved, the folder is still the one that was opened: the path follows it.
    fs::rename(path("a/b"), path("a/moved"));
    EXPECT_EQ(pathOfFolder(c.get()), fs::canonical(path("a/moved/c")).string());
    EXPECT_EQ(idOf(openSubfolder(top.get(), "a", false, idAt(path("a"))).get()), idAt(path("a")));
    // A name that stands for another folder, or for a link, than the listing saw.
    fs::rename(path("a"), path("a-was"));
    fs::create_directory_symlink("a-was", path("a"));
    EXPECT_THROW(openSubfolder(top.get(), "a", false, idAt(path("a-was"))), std::system_error);
    EXPECT_NO_THROW(openSubfolder(top.get(), "a", true, idAt(path("a-was"))));
    makeFolder("other");
    EXPECT_THROW(openSubfolder(top.get(), "other", false, idAt(path("a-was"))), std::system_error);
}

INSTANTIATE_TEST_SUITE_P(KernelOrWalk, FolderAccessTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "kernel" : "walk"; });

}  // namespace
}  // namespace tabulo::test
