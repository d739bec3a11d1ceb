#include "shell/Shell.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/Host.h"
#include "host/StatusSink.h"
#include "common/Paths.h"
#include "common/ReadFile.h"
#include "common/TextFile.h"
#include "options/Options.h"

namespace tabulo {

namespace {

constexpr const char* kMarker = "indexilize.marker";

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void writeLines(const std::string& path, const std::vector<std::string>& lines) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    TextFile file(path, Unmappable::KeepUtf8);
    for (const auto& line : lines) file.write(line + "\n");  // read by a shell: LF only
    file.commit();
}

}  // namespace

std::string dataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share";
}

void RegisterContextMenu(StatusSink& status, const std::string& executable) {
    const std::string marker = applicationFolder() + "/" + kMarker;
    if (pathExists(marker)) return;
    status.status("Registering context menu.");
    const std::string script = dataFolder() + "/nautilus/scripts/Indexilize";
    const std::string serviceMenu = dataFolder() + "/kio/servicemenus/tabulo-indexilize.desktop";
    try {
        // One runner for both: GNOME Files passes names relative to the shown folder,
        // Dolphin absolute paths.
        writeLines(script,
                   {
                       "#!/bin/sh",
                       "# Indexilize: index the chosen folders with Tabulo and open the page.",
                       "for folder in \"$@\"; do",
                       "  case \"$folder\" in /*) ;; *) folder=\"$PWD/$folder\" ;; esac",
                       "  " + shellQuoted(executable) + " \"\\\"$folder\\\"-view\" &",
                       "done",
                   });
        ::chmod(script.c_str(), 0755);
        writeLines(serviceMenu, {
                                    "[Desktop Entry]",
                                    "Type=Service",
                                    "MimeType=inode/directory;",
                                    "Actions=indexilize;",
                                    "X-KDE-ServiceTypes=KonqPopupMenu/Plugin",
                                    "",
                                    "[Desktop Action indexilize]",
                                    "Name=Indexilize",
                                    "Icon=tabulo",
                                    "Exec=\"" + script + "\" %f",
                                });
        writeLines(marker, {script, serviceMenu});
    } catch (const std::system_error& e) {  // file-system errors included
        status.error("Error registering context menu: " + std::string(e.what()) + ".");
        return;
    }
    status.status("Finshed registering context menu.");
}

void ChooseAllInOneFolder(Options& o, Host& host, const std::string& folderList) {
    o.setEditedMark("*");
    if (!o.text(opt("lblAllInOneFolder")).empty() && !DirExists(o.text(opt("lblAllInOneFolder")))) {
        o.setText(opt("lblAllInOneFolder"), "");
    }
    const std::string& caption = o.text(opt("lblAllInOneFolder"));
    auto chosen = host.chooseFolder(caption.empty() ? folderList : caption);
    if (!chosen || chosen->empty() || *chosen == "?") return;
    o.setText(opt("lblAllInOneFolder"), *chosen);
    o.setText(opt("lblWWWroot"), *chosen);
}

}  // namespace tabulo
