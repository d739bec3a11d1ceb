#include "support/Fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands/Watch.h"
#include "common/Text.h"

namespace fs = std::filesystem;

namespace tabulo::test {

bool ScriptedHost::sawError() const {
    for (const auto& line : statusLines) {
        if (contains(line, "Error")) return true;
    }
    return false;
}

void FolderTest::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "tabulo-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root = pattern;
    fs::create_directories(root + "/home");
    ::setenv("TABULO_HOME", (root + "/home").c_str(), 1);
    // A window started without a folder opens in the home folder: never the real one here.
    fs::create_directories(root + "/user");
    ::setenv("HOME", (root + "/user").c_str(), 1);
    fs::create_directories(root + "/site");
    root += "/site";
}

void FolderTest::TearDown() {
    std::error_code ec;
    fs::remove_all(fs::path(root).parent_path(), ec);
}

std::string FolderTest::home() const {
    return fs::path(root).parent_path().string() + "/home";
}

void EngineTest::SetUp() {
    FolderTest::SetUp();
    engine.today = [] {
        std::tm tm{};
        tm.tm_year = 2026 - 1900;
        tm.tm_mon = 11;
        tm.tm_mday = 6;
        return tm;
    };
    // The folder list starts in the test's own folder, so rules that copy it stay inside.
    engine.setCurrentFolder(root);
}

std::string FolderTest::writeFile(const std::string& relative, const std::string& content) {
    std::string full = path(relative);
    fs::create_directories(fs::path(full).parent_path());
    std::ofstream(full, std::ios::binary) << content;
    return full;
}

std::string FolderTest::makeFolder(const std::string& relative) {
    std::string full = path(relative);
    fs::create_directories(full);
    return full;
}

void FolderTest::setTime(const std::string& relative, std::time_t when) {
    struct timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void EngineTest::set(std::string_view name, std::string_view value) {
    auto id = Options::find(name);
    ASSERT_TRUE(id) << name;
    ASSERT_TRUE(engine.options().setValueText(*id, value)) << name << "=" << value;
}

void EngineTest::select(std::string_view name, int index) {
    auto id = Options::find(name);
    ASSERT_TRUE(id) << name;
    engine.options().select(*id, index);
}

void EngineTest::watchRun() {
    UnattendedRun run;
    run.folder = root;
    run.treeTotals = &keptTotals;
    run.searchNames = &keptNames;
    engine.RunUnattended(run);
    ASSERT_EQ(host.statusLines.back(), "Done");
}

void EngineTest::watchBatch(const std::set<std::string>& changed) {
    FolderWatch::Changes changes;
    for (const std::string& folder : changed) changes.listings.insert(folder.empty() ? root : path(folder));
    UnattendedRun run;
    run.folder = root;
    run.recursive = false;
    for (const std::string& folder : PlanBatch(changes, root, false).folders) run.only.emplace_back(folder, false);
    run.treeTotals = &keptTotals;
    run.searchNames = &keptNames;
    engine.RunUnattended(run);
    ASSERT_EQ(host.statusLines.back(), "Done");
}

void EngineTest::go(const std::string& relative) {
    engine.setCurrentFolder(relative.empty() ? root : path(relative));
    engine.cmdGo_Click();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string crlf(std::string_view text) {
    return replaceAll(replaceAll(text, "\r\n", "\n"), "\n", "\r\n");
}

}  // namespace tabulo::test
