#include "commands/Startup.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "engine/Engine.h"
#include "commands/ThemeCommands.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/ReadFile.h"
#include "common/TextFile.h"
#include "listing/FolderListing.h"
#include "run/RunSettings.h"
#include "run/RunSummary.h"
#include "themes/Themes.h"

namespace tabulo {

namespace {

// The folder list's path: absolute, without a trailing separator except at the root. ".."
// is resolved on the disk, as the folder test resolved it: after a link it is not the parent
// the text shows.
std::string folderListPath(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(folder, ec);
    if (ec) p = folder;
    for (const auto& part : p) {
        if (part == "..") return realPath(p.string()).value_or(normalFolder(p.string()));
    }
    return normalFolder(p.string());
}

// "-view" and "-noquit" are switches where they stand as words: at the end of the line or
// before a blank, a quote or another switch. So "/srv/www"-view is the glued context-menu form,
// and a folder named "my-viewer" keeps its name. Spans are found from the right, because
// whether a switch counts can depend on the one glued after it.
struct SwitchSpan {
    std::size_t at, length;
};

std::vector<SwitchSpan> switchSpans(std::string_view line) {
    static constexpr std::string_view kSwitches[] = {"-view", "-noquit"};
    std::vector<std::size_t> lengthAt(line.size() + 1, 0);
    auto boundary = [&](std::size_t end) {
        if (end == line.size()) return true;
        char c = line[end];
        return c == ' ' || c == '\t' || c == '"' || lengthAt[end] != 0 ||
               line.substr(end).starts_with("-sheme ");
    };
    for (std::size_t i = line.size(); i-- > 0;) {
        for (std::string_view sw : kSwitches) {
            if (line.substr(i).starts_with(sw) && boundary(i + sw.size())) lengthAt[i] = sw.size();
        }
    }
    std::vector<SwitchSpan> spans;
    for (std::size_t i = 0; i < line.size();) {
        if (lengthAt[i] != 0) {
            spans.push_back({i, lengthAt[i]});
            i += lengthAt[i];
        } else {
            ++i;
        }
    }
    return spans;
}

bool hasSwitch(std::string_view line, std::string_view name) {
    for (const SwitchSpan& s : switchSpans(line)) {
        if (line.substr(s.at, s.length) == name) return true;
    }
    return false;
}

// The folder text: the switches cut out, then every double quote.
std::string folderText(std::string_view line) {
    std::string out;
    std::size_t from = 0;
    for (const SwitchSpan& s : switchSpans(line)) {
        out.append(line.substr(from, s.at - from));
        from = s.at + s.length;
    }
    out.append(line.substr(from));
    return replaceAll(out, "\"", "");
}

// The text as it is tested: with a trailing separator.
std::string testedFolder(std::string_view folder) {
    std::string tested(folder);
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
    cmdLoad_Click(engine);
}

bool defaultThemeWanted(const std::string& namedTheme) {
    return namedTheme.empty() && isFile(ThemePath("default"));
}

}  // namespace

StartOutcome Form_Activate(Engine& engine, std::string_view line, StartMode mode, bool index) {
    StartOutcome outcome;
    Options& o = engine.options();
    InstallShippedThemes();
    engine.setThemeList(ThemeListFromDisk());
    bool defaultLoaded = false;
    if (line.empty() && mode == StartMode::Window) {
        // Never silently in whatever folder the program was started from.
        const char* home = std::getenv("HOME");
        engine.setCurrentFolder(
            RememberedFolder().value_or(home && DirExists(home) ? home : "/"));
    }

    if (!line.empty()) {
        std::string folder = folderText(line);
        if (index && !hasSwitch(line, "-view")) o.setCheck(opt("chkView"), 0);

        const std::string sheme = "-sheme ";
        if (auto at = line.find(sheme); at != std::string_view::npos) {
            std::string_view rest = line.substr(at + sheme.size());
            outcome.theme = std::string(rest.substr(0, rest.find(sheme)));
            // The blank before a second switch is no part of the name, unless a theme says so.
            if (!isFile(ThemePath(outcome.theme))) {
                while (outcome.theme.ends_with(' ')) outcome.theme.pop_back();
            }
            if (IsValidThemeName(outcome.theme) && isFile(ThemePath(outcome.theme))) {
                std::string before = folderText(line.substr(0, at));
                // Without a folder list to click, the tool's list starts at the named folder.
                if (auto start = existingFolder(testedFolder(before));
                    start && mode == StartMode::Tool && !isBlank(before)) {
                    engine.setCurrentFolder(*start);
                }
                engine.letEventsRun();
                loadNamedTheme(engine, outcome.theme);
                folder = before;
            } else {
                engine.error("Error: Sheme : `" + outcome.theme + "` not found.");
                outcome.themeMissing = true;
            }
        }
        // Only switches, quotes or blanks: there is no folder, and an empty text must never
        // come to mean the file-system root.
        outcome.noFolder = isBlank(folder);

        if (mode == StartMode::Tool && defaultThemeWanted(outcome.theme)) {
            if (auto start = existingFolder(testedFolder(folder)); start && !outcome.noFolder)
                engine.setCurrentFolder(*start);
            loadNamedTheme(engine, o.text(opt("cmbSheme")));
            defaultLoaded = true;
        }

        // The window lets the folder test fail on the name left in the line; the tool has said
        // all there is to say.
        bool toolStops = mode == StartMode::Tool && outcome.themeMissing;
        if (index && !outcome.noFolder && !toolStops) {
            std::string tested = testedFolder(folder);
            auto missing = mode == StartMode::Tool ? MissingFolderMessage(folder) : std::nullopt;
            if (auto found = existingFolder(tested)) {
                engine.setCurrentFolder(*found);
                outcome.started = true;
                engine.letEventsRun();
                engine.cmdGo_Click();
            } else if (missing) {
                engine.error(*missing);
                outcome.folderMissing = true;
            } else {
                engine.error("Error: The `" + toUtf8(tested) +
                                 "` directory not found or empty.");
            }
            // A run the user cancelled at an overwrite question has ended all the same.
            outcome.quit = outcome.started && !hasSwitch(line, "-noquit") &&
                           IsRunEnd(engine.statusLine());
            if (outcome.quit) return outcome;
        }
    }

    if (!defaultLoaded && defaultThemeWanted(outcome.theme))
        loadNamedTheme(engine, o.text(opt("cmbSheme")));
    for (int slot = 0; slot < 9; ++slot) engine.RefreshColorField(slot);
    ApplyWwwRootLock(engine);
    o.setEditedMark("-");
    return outcome;
}

namespace {

std::string rememberedFolderFile() {
    return applicationFolder() + "/last-folder";
}

}  // namespace

void RememberFolder(const std::string& folder) {
    try {
        std::error_code ec;
        std::filesystem::create_directories(applicationFolder(), ec);
        TextFile file(rememberedFolderFile(), Unmappable::KeepUtf8);
        file.write(folder + "\n");
        file.commit();
    } catch (const std::system_error&) {
        // Only a convenience: the next start opens in the home folder instead.
    }
}

std::optional<std::string> RememberedFolder() {
    std::error_code ec;
    auto text = readRegularFile(rememberedFolderFile(), ec, kMaxSmallFile);
    if (!text) return std::nullopt;
    std::string folder = text->substr(0, text->find('\n'));
    if (folder.empty() || !DirExists(folder)) return std::nullopt;
    return folder;
}

std::optional<std::string> MissingFolderMessage(std::string_view folder) {
    std::string name(folder);
    while (name.size() > 1 && name.back() == ' ') name.pop_back();
    std::optional<std::string> file;
    for (const std::string& candidate : {std::string(folder), name}) {
        struct stat st {};
        if (candidate.empty() || ::stat(candidate.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) return std::nullopt;
        file = candidate;
    }
    if (file) return "Error: `" + toUtf8(*file) + "` is a file, not a folder.";
    return "Error: The folder `" + toUtf8(name) + "` does not exist.";
}

bool ConfirmLargeRun(Engine& engine) {
    constexpr std::size_t kMany = 1000;
    const Options& o = engine.options();
    if (!o.on(opt("chkReqrsive"))) return true;
    const std::string wwwRoot = normalFolder(o.text(opt("txtWWWroot")));
    bool locked = !wwwRoot.empty() && !engine.panel().enabled("txtWWWroot");
    if (locked && isInside(engine.currentFolder(), wwwRoot)) return true;
    if (CountFoldersBelow(engine.currentFolder(), kMany + 1) <= kMany) return true;
    return engine.host().ask("The folder `" + toUtf8(engine.currentFolder()) +
                                 "` holds more than 1,000 folders and lies under no locked www "
                                 "root. Write an index page into each of them?",
                             "Tabulo", Buttons::YesNo) == Answer::Yes;
}

bool PrepareScriptFolder(Engine& engine, std::string_view folder) {
    auto found = isBlank(folder) ? std::nullopt : existingFolder(testedFolder(folder));
    if (!found) {
        engine.error("Error: The `" + toUtf8(testedFolder(folder)) +
                         "` directory not found or empty.");
        return false;
    }
    engine.setCurrentFolder(*found);
    engine.setRunRootDepth(WwwRootDepth(engine.options(), engine.currentFolder()));
    return true;
}

}  // namespace tabulo
