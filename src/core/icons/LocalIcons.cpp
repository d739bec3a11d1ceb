#include "icons/LocalIcons.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/StatusSink.h"
#include "common/Encoding.h"
#include "common/FolderTime.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "common/Faults.h"
#include "common/FolderTime.h"
#include "common/ReadFile.h"
#include "common/TextFile.h"
#include "options/Options.h"

#ifndef TABULO_DATADIR
#define TABULO_DATADIR "/usr/local/share/tabulo"
#endif

namespace tabulo {

namespace {

std::string joinPathText(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

}  // namespace

bool IsStorableIconType(std::string_view type) {
    if (type.empty() || type == "end_" || type.starts_with('.') || contains(type, "..")) return false;
    for (char c : type) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
    }
    return true;
}

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

LocalIcons::LocalIcons(const OptionValues& options, SharedFolder root, std::string shownRoot,
                       FolderId tree, std::string shippedIcons, StatusSink& status)
    : o_(options),
      root_(std::move(root)),
      shownRoot_(std::move(shownRoot)),
      tree_(tree),
      shipped_(std::move(shippedIcons)),
      status_(status) {}

// The folder `relative` below the root, opened one name at a time: made when `create`, and
// entered through a link only when the link stays in the tree. -1 when it is not there.
int LocalIcons::folderAt(const std::string& relative, bool create) {
    if (relative.empty()) return root_->get();
    if (auto known = folders_.find(relative); known != folders_.end())
        return known->second ? known->second->get() : -1;
    auto slash = relative.rfind('/');
    std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    int parent = folderAt(slash == std::string::npos ? "" : relative.substr(0, slash), create);
    if (parent < 0) return -1;
    const std::string shown = joinPathText(shownRoot_, relative);
    if (create) {
        int made = injectedFault(Fault::Mkdir) ? (errno = EIO, -1) : changeKeepingTime(parent, [&] {
            return ::mkdirat(parent, name.c_str(), 0777);
        });
        if (made != 0 && errno != EEXIST) {
            status_.error("Error making the icon folder `" + toUtf8(shown) + "`: " +
                          std::generic_category().message(errno) + ".");
            folders_[relative] = nullptr;
            return -1;
        }
    }
    Descriptor fd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd && (errno == ELOOP || errno == ENOTDIR)) {
        fd.reset(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd && !isBeneath(fd.get(), tree_)) {
            if (!refused_) {
                refused_ = true;
                status_.status("Skipping the icons in `" + toUtf8(shown) +
                               "`: it leads outside the folder being indexed.");
            }
            folders_[relative] = nullptr;
            return -1;
        }
    }
    if (!fd) return -1;  // not there (yet): asked again when it is to be made
    return (folders_[relative] = share(std::move(fd)))->get();
}

bool LocalIcons::placeOf(const std::string& type, bool create, Place& place) {
    std::string relative = replaceAll(o_.text(opt("txtIconsLocal")), "#", type);
    auto segments = split(relative, '/');
    std::string folder;
    for (std::size_t j = 0; j + 1 < segments.size(); ++j) {
        if (segments[j].empty() || segments[j] == ".") continue;
        if (segments[j] == "..") return false;
        folder += (folder.empty() ? "" : "/") + segments[j];
    }
    place.name = segments.empty() ? "" : segments.back();
    if (place.name.empty() || place.name == "." || place.name == "..") return false;
    place.folder = folderAt(folder, create);
    place.shown = joinPathText(shownRoot_, relative);
    return place.folder >= 0;
}

bool LocalIcons::hasIcon(const std::string& type) {
    Place place;
    struct stat st;
    return IsStorableIconType(type) && placeOf(type, false, place) &&
           ::fstatat(place.folder, place.name.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
}

bool LocalIcons::storeIcon(const std::string& type, const std::string& bytes) {
    Place place;
    if (!IsStorableIconType(type) || !placeOf(type, true, place)) return false;
    try {
        TextFile file(place.folder, place.name, place.shown, Unmappable::KeepUtf8,
                      WriteRules{tree_, true});
        file.writeRaw(bytes);
        file.commit();
        return true;
    } catch (const std::system_error& e) {
        status_.error("Error writing icon `" + toUtf8(place.shown) + "`: " + e.code().message());
        return false;
    }
}

std::string LocalIcons::shippedIcon(const std::string& type) const {
    if (shipped_.empty()) return "";
    return joinPathText(shipped_, baseName(replaceAll(o_.text(opt("txtIconsLocal")), "#", type)));
}

bool LocalIcons::copy(const std::string& from, const std::string& type) {
    std::error_code ec;
    auto bytes = readRegularFile(from, ec, kMaxIcon);
    return bytes && storeIcon(type, *bytes);
}

std::vector<std::string> LocalIcons::copyShipped(const std::vector<std::string>& types) {
    std::vector<std::string> missing;
    for (const std::string& type : types) {
        if (!IsStorableIconType(type) || hasIcon(type)) continue;
        std::string from = shippedIcon(type);
        if (!from.empty() && isRegularFile(from) && copy(from, type)) {
            status_.status("Copied icon : `" + toUtf8(type) + "`");
        } else {
            missing.push_back(type);
        }
    }
    return missing;
}

void LocalIcons::fillMissing(const std::vector<std::string>& types) {
    if (!hasIcon("unknown")) {
        std::string shippedUnknown = shippedIcon("unknown");
        if (!shippedUnknown.empty() && isRegularFile(shippedUnknown)) copy(shippedUnknown, "unknown");
    }
    Place unknown;
    if (!hasIcon("unknown") || !placeOf("unknown", false, unknown)) return;
    std::error_code ec;
    auto bytes = readRegularFileAt(unknown.folder, unknown.name, ec, kMaxIcon);
    if (!bytes) return;
    for (const std::string& type : types) {
        if (!IsStorableIconType(type) || hasIcon(type)) continue;
        if (storeIcon(type, *bytes)) status_.status("No icon for `" + toUtf8(type) + "`: using unknown");
    }
}

}  // namespace tabulo
