#include "app/CommandLine.h"

#include <dirent.h>

#include <cstdlib>
#include <filesystem>

#include "Engine.h"
#include "common/Encoding.h"
#include "common/Text.h"

namespace tabulo {

bool DirExists(std::string_view name) {
    std::string path(name);
    if (path.empty() || path.back() != '/') path += '/';
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    ::closedir(dir);
    return true;
}

std::string applicationFolder() {
    if (const char* home = std::getenv("TABULO_HOME"); home && *home) return home;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return std::string(xdg) + "/tabulo";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/tabulo";
}

namespace {

// The folder list's path: absolute, without a trailing separator except at the root.
std::string folderListPath(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(folder, ec);
    if (ec) p = folder;
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

}  // namespace

UnattendedOutcome RunCommandLine(Engine& engine, std::string_view line) {
    UnattendedOutcome outcome;
    Options& o = engine.options();
    std::string folder = replaceAll(line, "\"", "");
    if (!contains(line, "-view")) o.setCheck(opt("chkView"), 0);

    std::string tested = replaceAll(replaceAll(folder, "-noquit", ""), "-view", "");
    if (tested.empty() || tested.back() != '/') tested += '/';
    if (DirExists(tested)) {
        engine.setCurrentFolder(folderListPath(tested));
        outcome.started = true;
        engine.host().processEvents();
        engine.cmdGo_Click();
    } else {
        engine.setStatus("Error: The `" + toUtf8(tested) + "` directory not found or empty.");
    }
    outcome.quit = outcome.started && !contains(line, "-noquit") &&
                   !contains(engine.statusLine(), "Error") && engine.statusLine() == "Done";
    return outcome;
}

}  // namespace tabulo
