#include "icons/LocalIcons.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "StatusSink.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/TextFile.h"
#include "options/Options.h"

#ifndef TABULO_DATADIR
#define TABULO_DATADIR "/usr/local/share/tabulo"
#endif

namespace tabulo {

namespace {

// A type that could name another place than its own file gets no icon file.
bool storable(std::string_view type) {
    if (type.empty() || type == "end_" || type.starts_with('.') || contains(type, "..")) return false;
    for (char c : type) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

std::string joinPathText(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

std::string ShippedDataFolder() {
    if (const char* env = std::getenv("TABULO_DATA"); env && *env) return env;
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto beside = self.parent_path().parent_path() / "share" / "tabulo";
        if (DirExists(beside.string())) return beside.string();
    }
    return DirExists(TABULO_DATADIR) ? TABULO_DATADIR : "";
}

bool IsRealIconService(std::string_view address) {
    auto scheme = address.find("://");
    if (scheme == std::string_view::npos) return false;
    std::string_view host = address.substr(scheme + 3);
    host = host.substr(0, host.find_first_of("/?#"));
    host = host.substr(host.rfind('@') == std::string_view::npos ? 0 : host.rfind('@') + 1);
    if (!host.starts_with('[')) host = host.substr(0, host.find(':'));
    std::string h = asciiLower(host);
    while (h.ends_with('.')) h.pop_back();
    if (h.empty()) return false;
    for (std::string_view reserved : {"example.com", "example.net", "example.org"}) {
        if (h == reserved || h.ends_with("." + std::string(reserved))) return false;
    }
    for (std::string_view tld : {".example", ".invalid", ".test"}) {
        if (h.ends_with(tld) || h == tld.substr(1)) return false;
    }
    return true;
}

LocalIcons::LocalIcons(const OptionValues& options, std::string root, std::string tree,
                       std::string shippedIcons, StatusSink& status)
    : o_(options),
      root_(std::move(root)),
      tree_(std::move(tree)),
      shipped_(std::move(shippedIcons)),
      status_(status) {}

std::string LocalIcons::iconPath(const std::string& type) const {
    return joinPathText(root_, replaceAll(o_.text(opt("txtIconsLocal")), "#", type));
}

// The folders of the icon template below the root, each made only inside the tree: a link
// among them that leads elsewhere stops here.
bool LocalIcons::makeFolders() {
    if (foldersMade_) return true;
    auto segments = split(o_.text(opt("txtIconsLocal")), '/');
    std::string folder = root_;
    for (std::size_t j = 0; j + 1 < segments.size(); ++j) {
        if (segments[j].empty() || segments[j] == ".") continue;
        if (segments[j] == "..") return false;
        folder = joinPathText(folder, segments[j]);
        std::error_code ec;
        std::filesystem::create_directory(folder, ec);
        auto real = realPath(folder);
        if (!real || !isInside(*real, tree_) || !DirExists(*real)) return false;
    }
    return foldersMade_ = true;
}

bool LocalIcons::copy(const std::string& from, const std::string& type) {
    std::error_code ec;
    auto bytes = readRegularFile(from, ec);
    if (!bytes || !makeFolders()) return false;
    try {
        TextFile file(iconPath(type), Unmappable::KeepUtf8, WriteRules{tree_, true});
        file.writeRaw(*bytes);
        file.commit();
        return true;
    } catch (const std::system_error& e) {
        status_.error("Error writing icon `" + toUtf8(iconPath(type)) + "`: " + e.code().message());
        return false;
    }
}

std::vector<std::string> LocalIcons::copyShipped(const std::vector<std::string>& types) {
    std::vector<std::string> missing;
    for (const std::string& type : types) {
        if (!storable(type) || isRegularFile(iconPath(type))) continue;
        std::string from = shipped_.empty() ? "" : joinPathText(shipped_, baseName(iconPath(type)));
        if (!from.empty() && isRegularFile(from) && copy(from, type)) {
            status_.status("Copied icon : `" + toUtf8(type) + "`");
        } else {
            missing.push_back(type);
        }
    }
    return missing;
}

void LocalIcons::fillMissing(const std::vector<std::string>& types) {
    std::string unknown = iconPath("unknown");
    if (!isRegularFile(unknown) && !shipped_.empty()) {
        std::string shippedUnknown = joinPathText(shipped_, baseName(unknown));
        if (isRegularFile(shippedUnknown)) copy(shippedUnknown, "unknown");
    }
    if (!isRegularFile(unknown)) return;
    for (const std::string& type : types) {
        if (!storable(type) || isRegularFile(iconPath(type))) continue;
        if (copy(unknown, type)) status_.status("No icon for `" + toUtf8(type) + "`: using unknown");
    }
}

}  // namespace tabulo
