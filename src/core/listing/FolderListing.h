#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FolderAccess.h"
#include "checksums/FileHashes.h"

namespace tabulo {

class Wildcard;
class WorkerPool;

// A file of a listing. Files the page leaves out (excluded) still count for the icons, so they
// stay in the listing, but are never looked at on disk.
struct FileEntry {
    std::string name;  // bytes as on disk
    double size = 0;
    std::int64_t mtime = 0;
    bool excluded = false;
};

// What a folder's whole tree holds, as the walk sees it: the files its pages list, in it and
// in every folder below that the walk enters.
struct FolderTotals {
    double bytes = 0;
    std::uint64_t files = 0;
    FolderTotals& operator+=(const FolderTotals& other) {
        bytes += other.bytes;
        files += other.files;
        return *this;
    }
    bool operator==(const FolderTotals&) const = default;
};

struct FolderEntry {
    std::string name;  // bytes as on disk
    std::int64_t mtime = 0;
    dev_t device = 0;
    ino_t inode = 0;
    bool link = false;  // a symbolic link to a folder
    // Whether the walk enters a subfolder, and why not. A folder that is not entered gets no
    // page in the run, except one that leads back up, whose page is an ancestor's.
    enum class Reach : unsigned char { Walk, LeadsBack, Outside, Elsewhere };
    Reach reach = Reach::Walk;
    // Set by the walk on modern pages, for a folder it enters.
    std::optional<FolderTotals> totals = std::nullopt;
};

// What a listing looks for.
struct ListingRules {
    const Wildcard* filter = nullptr;                          // files shown; null: all
    std::function<bool(std::string_view)> excluded = nullptr;  // files left off the page
    bool fileDetails = true;         // sizes and times of files are needed
    WorkerPool* pool = nullptr;      // shares the work of a wide folder; none: alone
    std::vector<std::string> watch;  // names whose presence the page asks about
    // Names that may be files the run writes itself: set aside, whatever the filter, for the
    // run to tell its own from a user's.
    std::function<bool(std::string_view)> maybeOwn = nullptr;
    // Files the pages must not show at all (secrets), given the open folder; what the file was
    // taken for when it is one.
    std::function<std::optional<std::string>(int folder, std::string_view name)> withheld = nullptr;
};

// The visible subfolders and files of one folder, each in name order (case-insensitive,
// ties by bytes). Hidden names (leading "."), links whose target is missing and entries that
// vanish while the folder is read are left out.
struct FolderListing {
    std::vector<FolderEntry> folders;
    std::vector<FileEntry> files;

    // Names asked about while reading (the page, the description, the picture), whatever the
    // file filter, looked up in the folder itself when the scan does not see them.
    enum class Presence { Unknown, Missing, File, Folder, Other };  // File: an ordinary file
    std::vector<std::pair<std::string, Presence>> watched;
    Presence presence(const std::string& name) const;

    // Temporary files of writers found in the folder, for the next writer there to sweep.
    std::vector<std::string> leftovers;
    // The files the rules' `maybeOwn` set aside, in the order found.
    std::vector<std::string> maybeOwn;
    // The files the rules withheld, and what each was taken for, in the order found.
    std::vector<std::pair<std::string, std::string>> withheld;

    // Who the files are that the listing looked up on disk (their names, devices, inodes, sizes
    // and times to the nanosecond, checksum files aside), in any order: what their checksums
    // come from, as the digest cache sees it. Only when the rules ask for file details.
    std::uint64_t filesPrint = 0;

    // The checksums of `files`, index for index, when the page shows them; nothing for a file
    // that is left out or could not be read.
    std::vector<std::optional<FileDigest>> digests;
    const FileDigest* digestOf(const FileEntry& file) const;

    // The folder's own texts that its page shows, read with the listing: the description, and
    // the README (its name and bytes) of modern pages.
    std::optional<std::string> description;
    std::optional<std::pair<std::string, std::string>> readme;
};

// Whether `name`, one of the names the listing watched, is in the folder (an ordinary file,
// when `fileOnly`: a pipe or a device is never read as a description or shown as a picture).
bool isPresent(const FolderListing& listing, const std::string& name, bool fileOnly);

// The files of the listing that its page shows.
FolderTotals ListedFiles(const FolderListing& listing);

// Puts `file` in its place in the listing, or in place of the entry of its name, as a file of
// that name read from disk would be: not at all when the rules' filter hides it, left out when
// they exclude it. The digests, when there are any, keep their places.
void placeFile(FolderListing& listing, FileEntry file, const ListingRules& rules);

// Puts the folders and files of a listing made by hand in the order readFolder gives.
void SortListing(FolderListing& listing);

// The open folder's listing; `shown` names it in errors. Throws std::system_error when the
// folder cannot be read.
FolderListing readFolder(int folder, const std::string& shown, const ListingRules& rules);
// Every file, with its details: for the window's lists.
FolderListing readFolder(const std::string& path, const Wildcard& fileFilter);

// The folders below `path` that a walk enters by their own names (no hidden ones, no links),
// counted up to `limit`.
std::size_t CountFoldersBelow(const std::string& path, std::size_t limit);

std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace tabulo
