#include "generator/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "common/CaseFold.h"
#include "common/TextFile.h"
#include "generator/Wildcard.h"

namespace tabulo {

namespace {

void sortByName(std::vector<FolderEntry>& entries) {
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        keys.emplace_back(foldCase(entries[i].name), i);
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        return entries[a.second].name < entries[b.second].name;
    });
    std::vector<FolderEntry> sorted;
    sorted.reserve(entries.size());
    for (auto& [key, index] : keys) sorted.push_back(std::move(entries[index]));
    entries = std::move(sorted);
}

}  // namespace

FolderListing::Presence FolderListing::presence(const std::string& name) const {
    for (const auto& [watchedName, p] : watched) {
        if (watchedName == name) return p;
    }
    return Presence::Unknown;
}

FolderListing readFolder(const std::string& path, const Wildcard& fileFilter,
                         const std::vector<std::string>& watch) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) throw std::system_error(errno, std::generic_category(), path);
    FolderListing listing;
    for (const auto& name : watch) {
        // Hidden names and paths are not seen by this scan; they stay unknown.
        bool plain = !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
        listing.watched.emplace_back(
            name, plain ? FolderListing::Presence::Missing : FolderListing::Presence::Unknown);
    }
    int fd = ::dirfd(dir);
    for (;;) {
        errno = 0;  // readdir reports its own failure only through errno
        dirent* d = ::readdir(dir);
        if (!d) break;
        const char* name = d->d_name;
        if (name[0] == '.') {  // hidden, and "." and ".."
            if (isTemporaryName(name)) listing.leftovers.emplace_back(name);
            continue;
        }
        struct stat st;
        // Follows links; a link whose target is missing fails here and is not listed.
        if (::fstatat(fd, name, &st, 0) != 0) continue;
        bool link = d->d_type == DT_LNK;
        if (d->d_type == DT_UNKNOWN) {
            struct stat own;
            link = ::fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
        }
        FolderEntry e{name, static_cast<double>(st.st_size), st.st_mtime, st.st_dev, st.st_ino,
                      link};
        for (auto& [watchedName, presence] : listing.watched) {
            if (presence == FolderListing::Presence::Missing && watchedName == e.name) {
                presence = S_ISDIR(st.st_mode)   ? FolderListing::Presence::Folder
                           : S_ISREG(st.st_mode) ? FolderListing::Presence::File
                                                 : FolderListing::Presence::Other;
            }
        }
        if (S_ISDIR(st.st_mode)) {
            e.size = 0;
            listing.folders.push_back(std::move(e));
        } else if (fileFilter.matches(e.name)) {
            listing.files.push_back(std::move(e));
        }
    }
    int err = errno;
    ::closedir(dir);
    if (err != 0) throw std::system_error(err, std::generic_category(), path);
    sortByName(listing.folders);
    sortByName(listing.files);
    return listing;
}

FolderId folderIdOf(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        throw std::system_error(errno, std::generic_category(), path);
    return {st.st_dev, st.st_ino};
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace tabulo
