#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "common/Descriptor.h"

namespace tabulo {

// Identity of a folder: the same on every path that reaches it.
struct FolderId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderId&) const = default;
};
struct FolderIdHash {
    std::size_t operator()(const FolderId& id) const {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.inode) * 31 + id.device);
    }
};
FolderId idOf(int fd);  // throws std::system_error

// Why a place was refused: it lies outside where the work may go, or changed under the run.
enum class WriteError { OutsideTree = 1, OutsideFolder, Replaced };
const std::error_category& writeCategory();
std::system_error placeError(WriteError error, const std::string& what);

// A folder opened once and shared by everything that reads or writes in it: what was checked
// when it was opened stays true for its work, whatever is renamed or linked meanwhile.
using SharedFolder = std::shared_ptr<const Descriptor>;
SharedFolder share(Descriptor folder);

// Opens the folder `relative` below the open folder `root` ("" or "." is `root` itself).
// Neither ".." nor a link may lead above `root`, and with `followLinks` false no link is
// followed at all. Uses the kernel's own resolver (openat2, RESOLVE_BENEATH) where there is
// one, else walks one name at a time. Throws std::system_error: WriteError::OutsideTree when
// the path leaves `root`, WriteError::Replaced for a link where none may be.
Descriptor openBeneath(int root, std::string_view relative, bool followLinks);

// Opens a resolved path (no links in it) without following any link on the way, so the
// folder opened is the one the path named when it was resolved. Throws std::system_error.
Descriptor openResolvedFolder(const std::string& realPath);

// Opens the subfolder `name` of `parent`, which a listing saw as the folder `expected`: never
// through a link unless `throughLink`. Throws std::system_error, WriteError::Replaced when
// the name now stands for something else.
Descriptor openSubfolder(int parent, const std::string& name, bool throughLink,
                         FolderId expected);

// Whether the open folder is `root` or lies below it, found by going up through "..": needs
// no path text and no /proc.
bool isBeneath(int folder, FolderId root);

// The resolved path of an open folder, from /proc where it is mounted, else by going up
// through ".." and finding each folder's name in its parent. Nothing when it was deleted.
std::optional<std::string> pathOfFolder(int folder);

// A walk keeps one folder open per level of the tree: a program takes as many descriptors as
// the system lets it, once, at its start.
void raiseDescriptorLimit();

// A descriptor for the same open file, closed on exec like every other of ours.
Descriptor duplicate(int fd);
// The open folder opened once more, with a reading position of its own: for reading its
// entries while others use the first descriptor. Invalid, with errno set, when that fails.
Descriptor reopenFolder(int folder);

}  // namespace tabulo
