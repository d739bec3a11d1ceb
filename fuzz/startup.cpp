// The tool's start-up on any command line. Index runs are only recorded: none ever walks a
// folder, wherever the line points.

#include "commands/Startup.h"

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "FuzzSupport.h"
#include "themes/Themes.h"

using namespace tabulo;

namespace {

void writeTheme(const std::string& name, void (*change)(Options&)) {
    fuzz::RecordingHost host;
    Engine engine(host);
    change(engine.options());
    std::ofstream(ThemePath(name), std::ios::binary) << ThemeText(engine.options(), name);
}

// Folders for the line to name, and two themes: "blue" locks the www root to one of them.
void prepareScratch(const std::string& scratch) {
    for (const char* folder : {"site/sub dir", "my-viewer", "two  blanks", "x-noquit"}) {
        std::filesystem::create_directories(scratch + "/" + folder);
    }
    static std::string site = scratch + "/site";
    writeTheme("default", [](Options& o) { o.setValueText(opt("chkHeading"), "0"); });
    writeTheme("blue", [](Options& o) {
        o.setValueText(opt("txtWWWroot"), site);
        o.setValueText(opt("txtColorHex"),
                       "0000ff&aaaaff&aaaaff&000001&000000&0000ff&d000d0&"
                       "f0f0ff&f0f0ff");
    });
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& scratch = fuzz::ScratchFolder();
    static const bool prepared = (prepareScratch(scratch), true);
    (void)prepared;

    // A command line comes from C strings: it ends at the first NUL.
    std::string line(reinterpret_cast<const char*>(data), size);
    line.resize(line.find('\0') == std::string::npos ? line.size() : line.find('\0'));

    fuzz::RecordingHost host;
    Engine engine(host);
    engine.setCurrentFolder(scratch);
    std::vector<std::string> runs;
    engine.indexRunner = [&runs](Engine& e) { runs.push_back(e.currentFolder()); };

    const StartOutcome outcome = Form_Activate(engine, line, StartMode::Tool);

    FUZZ_CHECK(outcome.started == !runs.empty() && runs.size() <= 1);
    // A line of switches, quotes and blanks names no folder; above all not the root.
    FUZZ_CHECK(!outcome.noFolder || runs.empty(), fuzz::Shown(line));
    if (!runs.empty() && runs.front() == "/")
        FUZZ_CHECK(line.find('/') != std::string::npos, fuzz::Shown(line));
    for (const std::string& folder : runs) FUZZ_CHECK(isFolder(folder), fuzz::Shown(folder));
    return 0;
}
