#include "themes/Themes.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>

#include "common/CaseFold.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/ReadFile.h"
#include "common/TextFile.h"
#include "options/Options.h"

namespace tabulo {

namespace {

// The keys a loader looks for, in the order it applies them.
constexpr std::string_view kLoadOrder[] = {
    "chkHeading",
    "chkWindowsStyle",
    "tabOptions",
    "txtFilter",
    "txtWWWroot",
    "chkColor",
    "chkCss",
    "optCssNew",
    "optCssOld",
    "optCssEmbed",
    "chkIcons",
    "chkIcons32",
    "txtIcons32",
    "optIconsLocal",
    "lblWWWroot",
    "txtIconsLocal",
    "chkIconsDownloaded",
    "txtIcohrefDl",
    "chkProxy",
    "txtProxy",
    "optIconsRemote",
    "chkIconsDynamic",
    "txtIcohref",
    "chkCenter",
    "chkW3c",
    "chkUtf",
    "chkLenght",
    "txtLenght",
    "chkReplaceOlda",
    "txtIndexCss",
    "txtIndexHtm",
    "chkFont",
    "txtFont",
    "chkFontSize",
    "txtFontSize",
    "optExten",
    "optName",
    "optDate",
    "optSize",
    "chkInverseSortorder",
    "optAuto",
    "optFileSize",
    "chkTable",
    "chkBorder",
    "txtBorder",
    "chkCellSpace",
    "txtCellspace",
    "chkCellPad",
    "txtCellpad",
    "chkDouble",
    "txtDouble",
    "chkColuDesc",
    "chkColuHash",
    "chkColuSize",
    "chkColuTime",
    "optProtocolCustom",
    "optProtocol",
    "txtProtocolCustom",
    "chkDeamon",
    "txtDaemon",
    "chkCaptureDesc",
    "chkGlobalDesc",
    "lblGlobalDesc",
    "chkPre",
    "chkTT",
    "chkCaptureSnap",
    "chkCaptureMidi",
    "chkSumSize",
    "optCurrentDir",
    "optAllInOneFile",
    "optAllInOneFolder",
    "chkPreLink",
    "txtPreLink",
    "lblAllInOneFolder",
    "txtReplaceIndexs",
    "txtIndexOf",
    "chkReqrsive",
    "chkAlowExit",
    "chkForceCdUp",
    "lstDeamonMore",
    "chkUpload",
    "chkUploadScript",
    "optPhp",
    "optCgi",
    "txtUploadDirectory",
    "txtIndexScript",
    "txtUploadScript",
    "chkCgiFilter",
    "chkExcludeExts",
    "txtExclude",
    "optGlobal",
    "optExtention",
    "optMimeReg",
    "txtComment",
    "chkAutoSave",
    "chkHeader",
    "chkFooter",
    "txtHeader",
    "txtFooter",
    "chkAbout",
    "chkAboutDate",
    "chkAboutCredits",
    "chkAboutGenWith",
    "txtAboutLink",
    "txtAboutNick",
    "chkMetaStyle",
    "lblOptions",
    "txtColorHex",
    "optPageClassic",
    "optPageModern",
    "chkJsonListing",
    "txtRowBudget",
    "chkServerLinks",
    "chkSearchIndex",
    "txtSearchSites",
    "chkLeaveOutSecrets",
    "chkWhatsNew",
    "txtWhatsNewDays",
};

constexpr std::string_view kSectionHeads[] = {
    "[color panel]", "[icons panel]", "[text panel]", "[header / Footer]", "[protocol/daemon]",
    "[files panel]", "[paths panel]", "[misc panel]", "[about panel]", "[page style]",
};

struct LoadKey {
    std::string key;
    OptionId id;
};

const std::vector<LoadKey>& loadKeys() {
    static const auto keys = [] {
        std::vector<LoadKey> k;
        for (auto name : kLoadOrder) {
            OptionId id = Options::find(name).value();
            k.push_back({ThemeKey(id), id});
        }
        return k;
    }();
    return keys;
}

bool isMultiline(OptionId id) {
    return id == opt("txtHeader") || id == opt("txtFooter") || id == opt("txtExclude");
}

std::string trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

// A number as the loader's integer conversion reads it: the whole text, rounded half to even;
// nothing when that lies outside [low, high], so no value is ever converted that does not fit.
std::optional<int> integerOf(std::string_view text, int low, int high) {
    auto v = decimalNumber(trimBlanks(text));
    if (!v) return std::nullopt;
    double n = std::nearbyint(*v);
    if (!(n >= low && n <= high)) return std::nullopt;
    return static_cast<int>(n);
}

// Applies one entry; a value that does not convert leaves the option as it was.
void applyValue(Options& o, ThemeLoadEffects& effects, OptionId id, const std::string& value) {
    switch (Options::def(id).kind) {
        case OptionKind::Check:
            if (auto n = integerOf(value, -32768, 32767)) o.setCheck(id, *n);
            break;
        case OptionKind::Option: {
            std::string word = asciiLower(trimBlanks(value));
            std::optional<bool> on;
            if (word == "true") {
                on = true;
            } else if (word == "false") {
                on = false;
            } else if (auto n = decimalNumber(trimBlanks(value))) {
                on = std::nearbyint(*n) != 0;
            }
            if (on && *on) o.select(id);
            if (on && !*on) o.deselect(id);
            break;
        }
        case OptionKind::Indexed: {
            // -1: no member of the group is chosen (a theme says so when the group has none).
            double n = std::round(val(value));
            if (n == -1) o.deselect(id);
            if (n >= 0 && n < Options::def(id).members) o.select(id, static_cast<int>(n));
            break;
        }
        case OptionKind::Tab:
            if (auto n = integerOf(value, 0, 8)) o.setTab(*n);
            break;
        case OptionKind::List:
            o.appendList(id, value);
            break;
        case OptionKind::Panel:
            o.setText(id, "Options " + value);
            effects.toggleOptionsPanel();
            break;
        case OptionKind::Colours: {
            auto pieces = split(value, '&');
            if (pieces.size() < 10) break;  // a short line changes no slot
            for (int slot = 0; slot < 9; ++slot)
                o.setColour(slot, pieces[static_cast<std::size_t>(slot) + 1]);
            break;
        }
        default:
            o.setText(id, value);
            if (id == opt("txtWWWroot") && !value.empty()) {
                if (DirExists(value)) {
                    effects.wwwRootFound(value);
                } else {
                    effects.error("Error: The `" + value + "` does not exist.");
                }
            }
    }
}

constexpr std::string_view kViewKey = "chkView.Value=";  // written, never applied

bool holdsKey(const std::string& line) {
    if (contains(line, kViewKey)) return true;
    for (const auto& k : loadKeys()) {
        if (contains(line, k.key)) return true;
    }
    return false;
}

// The key a line starts with; keys end in their only "=", so no key starts another.
const LoadKey* keyStarting(const std::string& line) {
    for (const auto& k : loadKeys()) {
        if (line.starts_with(k.key)) return &k;
    }
    return nullptr;
}

// A key's value in a line: every occurrence of the key goes, also one that removing others
// joins together, so no value holds its own key and a saved value reads back unchanged.
std::string withoutKey(std::string_view line, std::string_view key) {
    std::string value = replaceAll(line, key, "");
    while (contains(value, key)) value = replaceAll(value, key, "");
    return value;
}

// "[name sheme settings]", the first line a theme is written with.
bool isTitle(std::string_view line) {
    return line.starts_with('[') && line.ends_with(" sheme settings]");
}

bool isSectionHead(const std::string& line) {
    return std::find(std::begin(kSectionHeads), std::end(kSectionHeads), line) !=
           std::end(kSectionHeads);
}

void applyLines(Options& options, ThemeLoadEffects& effects,
                const std::vector<std::string>& lines) {
    // A multi-line text takes the key-less lines after its entry, up to the next key or head.
    struct Pending {
        OptionId id;
        std::string value;
        bool lastLineEmpty = false;
    };
    std::optional<Pending> pending;
    auto finish = [&](bool atSectionHead) {
        if (!pending) return;
        if (atSectionHead && pending->lastLineEmpty)
            pending->value.resize(pending->value.size() - 2);
        applyValue(options, effects, pending->id, pending->value);
        pending.reset();
    };
    auto apply = [&](const LoadKey& k, const std::string& line) {
        std::string value = withoutKey(line, k.key);
        if (isMultiline(k.id)) {
            finish(false);
            pending = Pending{k.id, std::move(value)};
        } else {
            applyValue(options, effects, k.id, value);
        }
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!effects.statusShowsError() && contains(line, "[")) {
            effects.detail("Loading Section : `" + line + "`");
        }
        if (pending) {
            bool head = isSectionHead(line);
            if (!head && !holdsKey(line)) {
                pending->value += "\r\n" + line;
                pending->lastLineEmpty = line.empty();
                continue;
            }
            finish(head);
        }
        if ((i == 0 && isTitle(line)) || line.starts_with(kViewKey)) continue;
        // A line that starts with a key is that key's alone: its value may hold any text, also
        // another key's. Other lines apply every key they hold, as hand-made files expect.
        if (const LoadKey* k = keyStarting(line)) {
            apply(*k, line);
            continue;
        }
        for (const auto& k : loadKeys()) {
            if (contains(line, k.key)) apply(k, line);
        }
    }
    finish(false);
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view withoutByteOrderMark(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    return text;
}

// Lines as editors save them: CR LF, LF and a lone CR each end one.
std::vector<std::string> fileLines(std::string_view text) {
    text = withoutByteOrderMark(text);
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            lines.back() += text[i];
            continue;
        }
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        lines.emplace_back();
    }
    return lines;
}

}  // namespace

void ApplyThemeLines(Options& options, std::string_view text, ThemeLoadEffects& effects) {
    applyLines(options, effects, fileLines(text));
}

bool IsValidThemeName(std::string_view name) {
    if (name.empty() || contains(name, "..")) return false;
    for (char c : name) {
        auto b = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || b < 0x20 || b == 0x7F) return false;
    }
    return true;
}

std::string ThemePath(std::string_view name) {
    return applicationFolder() + "/" + std::string(name) + ".color";
}

std::optional<std::string> ReadThemeFile(std::string_view name, std::error_code& ec) {
    auto bytes = readRegularFile(ThemePath(name), ec, kMaxTheme);
    if (!bytes) return std::nullopt;
    return toUtf8(withoutByteOrderMark(*bytes));
}

void WriteThemeFile(std::string_view name, const std::string& text) {
    std::error_code ec;
    std::filesystem::create_directories(applicationFolder(), ec);
    // windows-1252 only when those bytes read back as this text: some ("Ã©") also form valid
    // UTF-8 ("é"), and valid UTF-8 is read as such.
    bool cp1252 = fitsCp1252(text) && toUtf8(toCp1252(text, Unmappable::Question)) == text;
    TextFile file(ThemePath(name), cp1252 ? Unmappable::Question : Unmappable::KeepUtf8);
    file.write(text);
    file.commit();
}

std::error_code DeleteThemeFile(std::string_view name) {
    if (::unlink(ThemePath(name).c_str()) != 0 && errno != ENOENT) {
        return {errno, std::generic_category()};
    }
    return {};
}

std::vector<std::string> ThemeListFromDisk() {
    std::vector<std::string> list{"default", "random"};
    std::vector<std::string> found;
    if (DIR* dir = ::opendir(applicationFolder().c_str())) {
        while (dirent* d = ::readdir(dir)) {
            std::string file = d->d_name;
            if (file.size() <= 6 || !file.ends_with(".color") || file[0] == '.') continue;
            found.push_back(file);
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        std::string fa = foldCase(a), fb = foldCase(b);
        return fa != fb ? fa < fb : a < b;
    });
    for (const auto& file : found) {
        std::string name = replaceAll(file, ".color", "");
        if (name != "random" && name != "default") list.push_back(toUtf8(name));
    }
    return list;
}

namespace {

// The options of a shipped theme, as each version of the program shipped it.
Options shippedTheme(std::string_view name, int version) {
    if (name == "server") {
        // The modern theme linked for a web server: folders as "name/", the parent as "../".
        Options o = shippedTheme("modern", 3);
        o.setCheck(opt("chkServerLinks"), 1);
        return o;
    }
    Options o;
    if (name == "modern") {
        o.select(opt("optPageModern"));
        o.select(opt("optName"));
        // Tabulo's own files by their names: "index*" would also hide a user's
        // index-of-papers.pdf.
        if (version >= 2)
            o.setText(opt("txtExclude"),
                      "index.html; index.json; index.css; index.cgi; upload.cgi; index_of-*; "
                      "MD5SUMS; SHA256SUMS; desc.txt; snap.gif; *.tmp; *.bak;\r\n");
        // Colours of its own, every text and link at 4.5:1 or more on what lies behind it:
        // page, table, cells, lines, text, link, visited link.
        if (version >= 3) {
            int slot = 0;
            for (const char* colour :
                 {"f7f7f7", "e8e8e8", "ffffff", "8c8c8c", "1a1a1a", "0645ad", "6b3fa0"})
                o.setColour(slot++, colour);
        }
        // A search of the whole site, from the index written beside the pages.
        if (version >= 4) o.setCheck(opt("chkSearchIndex"), 1);
    }
    return o;
}

struct QuietLoad : ThemeLoadEffects {
    void status(std::string) override {}
    void error(std::string) override {}
    bool statusShowsError() const override { return false; }
    void wwwRootFound(const std::string&) override {}
    void toggleOptionsPanel() override {}
};

// Whether the theme file holds what an older version shipped: nobody has changed it since.
bool isUntouched(std::string_view name, int version) {
    std::error_code ec;
    auto text = ReadThemeFile(name, ec);
    if (!text) return false;
    Options found;
    QuietLoad quiet;
    ApplyThemeLines(found, *text, quiet);
    Options shipped = shippedTheme(name, version);
    // The panel's caption belongs to the window, not to the theme's content.
    found.setText(opt("lblOptions"), shipped.text(opt("lblOptions")));
    return ThemeText(found, name) == ThemeText(shipped, name);
}

}  // namespace

void InstallShippedThemes() {
    const std::string marker = applicationFolder() + "/shipped-themes";
    std::error_code ec;
    std::string installed = readRegularFile(marker, ec, kMaxSmallFile).value_or("");
    auto has = [&](const std::string& line) { return contains("\n" + installed, "\n" + line + "\n"); };
    // The marker names each theme with the version last installed ("modern 4"; the first
    // version by its name alone).
    struct Shipped {
        std::string_view name;
        int version;
    };
    std::string added;
    for (Shipped theme : {Shipped{"modern", 4}, Shipped{"server", 1}}) {
        const std::string name(theme.name);
        auto line = [&](int version) { return version == 1 ? name : name + " " + std::to_string(version); };
        if (has(line(theme.version))) continue;
        int older = 0;
        for (int v = theme.version - 1; v >= 1 && older == 0; --v) {
            if (has(line(v))) older = v;
        }
        try {
            // A newer version replaces only a theme nobody changed; one the user deleted
            // stays deleted.
            bool there = isRegularFile(ThemePath(name));
            if (older == 0 ? !there : there && isUntouched(name, older))
                WriteThemeFile(name, ThemeText(shippedTheme(name, theme.version), name));
            added += line(theme.version) + "\n";
        } catch (const std::system_error&) {
            // Tried again at the next start.
        }
    }
    if (added.empty()) return;
    try {
        TextFile file(marker, Unmappable::KeepUtf8);
        file.write(installed + added);
        file.commit();
    } catch (const std::system_error&) {
    }
}

}  // namespace tabulo
