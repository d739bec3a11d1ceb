#include "app/Startup.h"

#include <dirent.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "Engine.h"
#include "common/Encoding.h"
#include "common/Text.h"
#include "common/TextFile.h"
#include "generator/Driver.h"
#include "themes/Themes.h"

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

// The folder text with the switches cut out and a trailing separator, as it is tested.
std::string testedFolder(std::string_view folderText) {
    std::string tested = replaceAll(replaceAll(folderText, "-noquit", ""), "-view", "");
    if (tested.empty() || tested.back() != '/') tested += '/';
    return tested;
}

// The folder a tested text names: the text itself, else the text without the blanks that
// stood before a switch (the desktop system this line format comes from ignores them).
std::optional<std::string> existingFolder(const std::string& tested) {
    if (DirExists(tested)) return folderListPath(tested);
    std::string trimmed = tested.substr(0, tested.size() - 1);
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    if (!trimmed.empty() && trimmed.size() + 1 < tested.size() && DirExists(trimmed)) {
        return folderListPath(trimmed);
    }
    return std::nullopt;
}

void loadNamedTheme(Engine& engine, const std::string& name) {
    engine.options().setText(opt("cmbSheme"), name);
    engine.cmdLoad_Click();
}

bool defaultThemeWanted(const std::string& namedTheme) {
    return namedTheme.empty() && isFile(ThemePath("default"));
}

}  // namespace

StartOutcome Form_Activate(Engine& engine, std::string_view line, StartMode mode, bool index) {
    StartOutcome outcome;
    Options& o = engine.options();
    engine.themeList() = ThemeListFromDisk();
    bool defaultLoaded = false;

    if (!line.empty()) {
        std::string folder = replaceAll(line, "\"", "");
        if (index && !contains(line, "-view")) o.setCheck(opt("chkView"), 0);

        const std::string sheme = "-sheme ";
        if (auto at = line.find(sheme); at != std::string_view::npos) {
            std::string_view rest = line.substr(at + sheme.size());
            outcome.theme = std::string(rest.substr(0, rest.find(sheme)));
            if (IsValidThemeName(outcome.theme) && isFile(ThemePath(outcome.theme))) {
                std::string before = replaceAll(line.substr(0, at), "\"", "");
                // Without a folder list to click, the tool's list starts at the named folder.
                if (auto start = existingFolder(testedFolder(before));
                    start && mode == StartMode::Tool) {
                    engine.setCurrentFolder(*start);
                }
                engine.letEventsRun();
                loadNamedTheme(engine, outcome.theme);
                folder = before;
            } else {
                engine.setStatus("Error: Sheme : `" + outcome.theme + "` not found.");
            }
        }

        if (mode == StartMode::Tool && defaultThemeWanted(outcome.theme)) {
            if (auto start = existingFolder(testedFolder(folder))) engine.setCurrentFolder(*start);
            loadNamedTheme(engine, o.text(opt("cmbSheme")));
            defaultLoaded = true;
        }

        if (index) {
            std::string tested = testedFolder(folder);
            if (auto found = existingFolder(tested)) {
                engine.setCurrentFolder(*found);
                outcome.started = true;
                engine.letEventsRun();
                engine.cmdGo_Click();
            } else {
                engine.setStatus("Error: The `" + toUtf8(tested) +
                                 "` directory not found or empty.");
            }
            outcome.quit = outcome.started && !contains(line, "-noquit") &&
                           !contains(engine.statusLine(), "Error") && engine.statusLine() == "Done";
            if (outcome.quit) return outcome;
        }
    }

    if (!defaultLoaded && defaultThemeWanted(outcome.theme))
        loadNamedTheme(engine, o.text(opt("cmbSheme")));
    for (int slot = 0; slot < 9; ++slot) engine.colours().RefreshColorField(slot);
    ApplyWwwRootLock(engine);
    o.setEditedMark("-");
    return outcome;
}

bool PrepareScriptFolder(Engine& engine, std::string_view folder) {
    auto found = existingFolder(testedFolder(folder));
    if (!found) {
        engine.setStatus("Error: The `" + toUtf8(testedFolder(folder)) +
                         "` directory not found or empty.");
        return false;
    }
    engine.setCurrentFolder(*found);
    engine.run().rootDepth = WwwRootDepth(engine);
    return true;
}

}  // namespace tabulo
