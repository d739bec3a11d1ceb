#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <vector>

namespace tabulo {

class Wildcard;

struct FolderEntry {
    std::string name;  // bytes as on disk
    double size = 0;
    std::time_t mtime = 0;
    dev_t device = 0;
    ino_t inode = 0;
    bool link = false;  // a symbolic link (to a folder, for subfolders)
    // Whether the walk enters a subfolder, and why not. A folder that is not entered gets no
    // page in the run, except one that leads back up, whose page is an ancestor's.
    enum class Reach : unsigned char { Walk, LeadsBack, Outside, Elsewhere };
    Reach reach = Reach::Walk;
};

// The visible subfolders and files of one folder, each in name order (case-insensitive,
// ties by bytes). Hidden names (leading "."), links whose target is missing and entries that
// vanish while the folder is read are left out.
struct FolderListing {
    std::vector<FolderEntry> folders;
    std::vector<FolderEntry> files;

    // Names asked about while reading (the page, the description, the picture), whatever the
    // file filter; saves looking them up again.
    enum class Presence { Unknown, Missing, File, Folder, Other };  // File: an ordinary file
    std::vector<std::pair<std::string, Presence>> watched;
    Presence presence(const std::string& name) const;

    // Temporary files of writers found in the folder, for the next writer there to sweep.
    std::vector<std::string> leftovers;
};

// Throws std::system_error when the folder cannot be read.
FolderListing readFolder(const std::string& path, const Wildcard& fileFilter,
                         const std::vector<std::string>& watch = {});

// Identity of a folder, to tell a link that leads back up the tree.
struct FolderId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderId&) const = default;
};
FolderId folderIdOf(const std::string& path);  // throws std::system_error

std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace tabulo
