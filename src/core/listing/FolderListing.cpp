#include "listing/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <new>
#include <optional>
#include <system_error>

#include "common/CaseFold.h"
#include "common/Descriptor.h"
#include "common/Faults.h"
#include "common/Fingerprint.h"
#include "common/TextFile.h"
#include "common/WorkerPool.h"
#include "listing/OutputNames.h"
#include "listing/Wildcard.h"

namespace tabulo {

namespace {

template <typename Entry>
bool nameBefore(const Entry& a, const Entry& b) {
    int folded = compareFolded(a.name, b.name);
    return folded != 0 ? folded < 0 : a.name < b.name;
}

// How many parts a piece of work of `count` items goes in: one per thread of the pool and one
// for the caller, once it is worth sharing at all.
std::size_t partsFor(std::size_t count, std::size_t worthSharing, const WorkerPool* pool) {
    return count < worthSharing || !pool ? 1 : static_cast<std::size_t>(pool->size()) + 1;
}

// A wide folder is sorted in parts on the pool's threads, then merged.
template <typename Entry>
void sortByName(std::vector<Entry>& entries, WorkerPool* pool) {
    std::size_t parts = partsFor(entries.size(), 16384, pool);
    std::size_t step = (entries.size() + parts - 1) / parts;
    auto bound = [&](std::size_t p) {
        return entries.begin() + static_cast<std::ptrdiff_t>(std::min(entries.size(), p * step));
    };
    if (parts == 1) {
        std::sort(entries.begin(), entries.end(), nameBefore<Entry>);
        return;
    }
    pool->forEach(parts, [&](std::size_t p) { std::sort(bound(p), bound(p + 1), nameBefore<Entry>); });
    for (std::size_t p = 1; p < parts; ++p)
        std::inplace_merge(bound(0), bound(p), bound(p + 1), nameBefore<Entry>);
}

// The entries of an open folder. On Linux straight from the kernel in large reads, through the
// caller's own descriptor rewound (the C library's folder stream would look at the descriptor
// three more times per folder, and a descriptor of its own costs two calls more): the walk
// never reads one folder on two threads at once. Elsewhere through a descriptor of its own.
class Dir {
  public:
    struct Entry {
        const char* name;
        unsigned char type;
    };

    Dir(int folder, const std::string& shown) {
#ifdef __linux__
        fd_ = folder;
        if (::lseek(folder, 0, SEEK_SET) == 0) return;
        own_ = reopenFolder(folder);
        fd_ = own_.get();
        if (!own_) throw std::system_error(errno, std::generic_category(), shown);
#else
        own_ = reopenFolder(folder);
        if (!own_) throw std::system_error(errno, std::generic_category(), shown);
        dir_ = ::fdopendir(own_.get());
        if (!dir_) throw std::system_error(errno, std::generic_category(), shown);
        own_.release();
#endif
    }
    ~Dir() {
#ifndef __linux__
        if (dir_) ::closedir(dir_);
#endif
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    int fd() const {
#ifdef __linux__
        return fd_;
#else
        return ::dirfd(dir_);
#endif
    }
    // The next entry; none at the end, or on an error (then errno is set, else 0).
    std::optional<Entry> next() {
        errno = 0;
#ifdef __linux__
        if (at_ >= filled_) {
            const ssize_t n = ::getdents64(fd_, buffer_.data(), buffer_.size());
            if (n <= 0) {
                if (n == 0) errno = 0;
                return std::nullopt;
            }
            filled_ = static_cast<std::size_t>(n);
            at_ = 0;
        }
        const auto* d = reinterpret_cast<const dirent64*>(buffer_.data() + at_);  // NOLINT: the kernel's records
        at_ += d->d_reclen;
        return Entry{d->d_name, d->d_type};
#else
        dirent* d = ::readdir(dir_);
        if (!d) return std::nullopt;
        return Entry{d->d_name, d->d_type};
#endif
    }

  private:
    Descriptor own_;
#ifdef __linux__
    int fd_ = -1;
    alignas(dirent64) std::array<char, 32768> buffer_{};
    std::size_t filled_ = 0, at_ = 0;
#else
    DIR* dir_ = nullptr;
#endif
};

FolderListing::Presence presenceOf(unsigned char type) {
    switch (type) {
        case DT_DIR:
            return FolderListing::Presence::Folder;
        case DT_REG:
            return FolderListing::Presence::File;
        default:
            return FolderListing::Presence::Other;
    }
}

// One file's part of the listing's files print, added up in any order.
std::uint64_t filePrint(const std::string& name, const struct stat& st) {
    if (name == kMd5SumsName || name == kSha256SumsName) return 0;
    return Fingerprint()
        .bytes(name)
        .word(st.st_dev)
        .word(st.st_ino)
        .word(static_cast<std::uint64_t>(st.st_size))
        .word(static_cast<std::uint64_t>(st.st_mtim.tv_sec))
        .word(static_cast<std::uint64_t>(st.st_mtim.tv_nsec))
        .value();
}

unsigned char typeOf(mode_t mode) {
    return S_ISDIR(mode) ? DT_DIR : S_ISREG(mode) ? DT_REG : DT_UNKNOWN;
}

// Sizes and times of the files at `pending`; a wide folder shares the work with the pool, as
// looking up each file is most of what reading it costs. Files gone meanwhile are dropped.
void statFiles(int fd, FolderListing& listing, const std::vector<std::uint32_t>& pending,
               WorkerPool* pool) {
    if (pending.empty()) return;
    std::vector<FileEntry>& files = listing.files;
    std::vector<char> gone(files.size(), 0);
    std::atomic<std::uint64_t> print{0};
    auto statRange = [&](std::size_t begin, std::size_t end) {
        std::uint64_t sum = 0;
        for (std::size_t k = begin; k < end; ++k) {
            FileEntry& f = files[pending[k]];
            struct stat st;
            if (::fstatat(fd, f.name.c_str(), &st, 0) != 0) {
                gone[pending[k]] = 1;
                continue;
            }
            f.size = static_cast<double>(st.st_size);
            f.mtime = st.st_mtime;
            sum += filePrint(f.name, st);
        }
        print.fetch_add(sum, std::memory_order_relaxed);
    };
    std::size_t parts = partsFor(pending.size(), 4096, pool);
    std::size_t step = (pending.size() + parts - 1) / parts;
    if (parts == 1) {
        statRange(0, pending.size());
    } else {
        pool->forEach(parts, [&](std::size_t p) {
            statRange(std::min(pending.size(), p * step), std::min(pending.size(), (p + 1) * step));
        });
    }
    listing.filesPrint += print.load(std::memory_order_relaxed);
    if (std::find(gone.begin(), gone.end(), 1) == gone.end()) return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!gone[i]) files[kept++] = std::move(files[i]);
    }
    files.resize(kept);
}

}  // namespace

FolderListing::Presence FolderListing::presence(const std::string& name) const {
    for (const auto& [watchedName, p] : watched) {
        if (watchedName == name) return p;
    }
    return Presence::Unknown;
}

bool isPresent(const FolderListing& listing, const std::string& name, bool fileOnly) {
    switch (listing.presence(name)) {
        case FolderListing::Presence::File:
            return true;
        case FolderListing::Presence::Folder:
        case FolderListing::Presence::Other:
            return !fileOnly;
        default:
            return false;
    }
}

FolderTotals ListedFiles(const FolderListing& listing) {
    FolderTotals t;
    for (const FileEntry& file : listing.files) {
        if (file.excluded) continue;
        t.bytes += file.size;
        ++t.files;
    }
    return t;
}

FolderListing readFolder(int folder, const std::string& shown, const ListingRules& rules) {
    if (injectedFault(Fault::Memory)) throw std::bad_alloc();
    Dir dir(folder, shown);
    FolderListing listing;
    for (const auto& name : rules.watch) {
        // Hidden names and paths are not seen by this scan; they stay unknown.
        bool plain = !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
        listing.watched.emplace_back(
            name, plain ? FolderListing::Presence::Missing : FolderListing::Presence::Unknown);
    }
    const int fd = dir.fd();
    std::vector<std::uint32_t> pending;  // files whose size and time are still to be looked up
    for (;;) {
        auto d = dir.next();
        if (!d) break;
        const char* name = d->name;
        if (name[0] == '.') {  // hidden, and "." and ".."
            if (isTemporaryName(name)) listing.leftovers.emplace_back(name);
            continue;
        }
        // The entry's type says what it is, except for links and file systems that do not
        // tell; only those, folders and the files a page shows are looked at on disk.
        unsigned char type = d->type;
        bool link = type == DT_LNK;
        struct stat st;
        bool statted = false;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            // Follows links; a link whose target is missing fails here and is not listed.
            if (::fstatat(fd, name, &st, 0) != 0) continue;
            if (type == DT_UNKNOWN) {
                struct stat own;
                link = ::fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
            }
            type = typeOf(st.st_mode);
            statted = true;
        }
        for (auto& [watchedName, presence] : listing.watched) {
            if (presence == FolderListing::Presence::Missing && watchedName == name)
                presence = presenceOf(type);
        }
        if (type == DT_DIR) {
            if (!statted && ::fstatat(fd, name, &st, 0) != 0) continue;  // gone meanwhile
            listing.folders.push_back({name, st.st_mtime, st.st_dev, st.st_ino, link});
            continue;
        }
        if (rules.maybeOwn && rules.maybeOwn(name)) {
            listing.maybeOwn.emplace_back(name);
            continue;
        }
        if (rules.filter && !rules.filter->matches(name)) continue;
        if (rules.withheld) {
            if (auto why = rules.withheld(fd, name)) {
                listing.withheld.emplace_back(name, std::move(*why));
                continue;
            }
        }
        FileEntry file{name};
        file.excluded = rules.excluded && rules.excluded(file.name);
        if (!file.excluded && rules.fileDetails) {
            if (statted) {
                file.size = static_cast<double>(st.st_size);
                file.mtime = st.st_mtime;
                listing.filesPrint += filePrint(file.name, st);
            } else {
                pending.push_back(static_cast<std::uint32_t>(listing.files.size()));
            }
        }
        listing.files.push_back(std::move(file));
    }
    if (errno != 0) throw std::system_error(errno, std::generic_category(), shown);
    // Hidden names and paths below the folder: looked up themselves (links followed).
    for (auto& [watchedName, presence] : listing.watched) {
        if (presence != FolderListing::Presence::Unknown) continue;
        struct stat st;
        presence = ::fstatat(fd, watchedName.c_str(), &st, 0) != 0 ? FolderListing::Presence::Missing
                   : S_ISDIR(st.st_mode)                          ? FolderListing::Presence::Folder
                   : S_ISREG(st.st_mode)                          ? FolderListing::Presence::File
                                                                  : FolderListing::Presence::Other;
    }
    statFiles(fd, listing, pending, rules.pool);
    sortByName(listing.folders, rules.pool);
    sortByName(listing.files, rules.pool);
    return listing;
}

void SortListing(FolderListing& listing) {
    sortByName(listing.folders, nullptr);
    sortByName(listing.files, nullptr);
}

void placeFile(FolderListing& listing, FileEntry file, const ListingRules& rules) {
    if (rules.filter && !rules.filter->matches(file.name)) return;
    file.excluded = rules.excluded && rules.excluded(file.name);
    auto& files = listing.files;
    auto at = std::lower_bound(files.begin(), files.end(), file, nameBefore<FileEntry>);
    if (at != files.end() && at->name == file.name) {
        *at = std::move(file);
        return;
    }
    if (!listing.digests.empty())
        listing.digests.insert(listing.digests.begin() + (at - files.begin()), std::nullopt);
    files.insert(at, std::move(file));
}

FolderListing readFolder(const std::string& path, const Wildcard& fileFilter) {
    Descriptor folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) throw std::system_error(errno, std::generic_category(), path);
    ListingRules rules;
    rules.filter = &fileFilter;
    return readFolder(folder.get(), path, rules);
}

const FileDigest* FolderListing::digestOf(const FileEntry& file) const {
    std::size_t i = static_cast<std::size_t>(&file - files.data());
    return i < digests.size() && digests[i] ? &*digests[i] : nullptr;
}

std::size_t CountFoldersBelow(const std::string& path, std::size_t limit) {
    std::size_t count = 0;
    std::vector<std::string> pending{path};
    while (!pending.empty() && count < limit) {
        std::string folder = std::move(pending.back());
        pending.pop_back();
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) continue;
        while (dirent* d = ::readdir(dir)) {
            if (d->d_name[0] == '.') continue;
            bool isFolder = d->d_type == DT_DIR;
            if (d->d_type == DT_UNKNOWN) {
                struct stat st;
                isFolder = ::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISDIR(st.st_mode);
            }
            if (!isFolder) continue;
            if (++count >= limit) break;
            pending.push_back(joinPath(folder, d->d_name));
        }
        ::closedir(dir);
    }
    return count;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace tabulo
