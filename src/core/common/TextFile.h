#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "common/Descriptor.h"
#include "common/Encoding.h"
#include "common/FolderAccess.h"
#include "common/FolderTime.h"
#include "common/TextOut.h"

namespace tabulo {

// Where a file may land once a link standing in its place is followed, and what its folder
// needs first.
struct WriteRules {
    WriteRules(std::optional<FolderId> confine = std::nullopt, bool tree = false)
        : within(confine), indexedTree(tree) {}

    // The folder a file may land in, it or a folder below it; unset: anywhere.
    std::optional<FolderId> within;
    // Whether `within` is the folder being indexed (for the message when it is left).
    bool indexedTree = false;
    // Remove the temporary files a killed run left in the file's folder before writing.
    bool sweep = true;
    // A new file is executable (scripts); a replaced file keeps its own bits.
    bool executable = false;
    // Compare with the file already there: when the new bytes equal it, nothing is written and
    // its time stays. At the first difference `mayReplace`, when set, decides whether the old
    // file is replaced after all.
    bool keepUnchanged = false;
    std::function<bool()> mayReplace;
    // The time a new or changed file gets (seconds since the epoch), when a page beside it
    // shows that time already; unset: the time of writing.
    std::optional<std::int64_t> time;
};

enum class WriteOutcome { Written, Unchanged, Declined };

// A text file written in windows-1252 with CR LF line ends, put in place whole or not at all:
// it is written to a temporary file created exclusively in the target's folder (never through
// a link) and renamed over the final name by commit(). A replaced file keeps its permission
// bits; when the final name is a link, the link stays and its target is replaced. Dropping the
// object without commit() leaves the old file as it was. Failures throw std::system_error.
class TextFile : public TextOut {
  public:
    // The file `name` of the open folder `folder`, which the caller checked when it opened it
    // and keeps open while this object lives; `shown` names the file in messages.
    TextFile(int folder, std::string name, std::string shown, Unmappable policy,
             const WriteRules& rules = {});
    // The file at `path`: its folder is opened here (links followed) and, with `within` set,
    // must lie there.
    TextFile(std::string path, Unmappable policy, const WriteRules& rules = {});
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    const std::string& path() const { return path_; }

    // Writes what is buffered and puts the file in place (unless it was unchanged or the
    // replacement was declined).
    WriteOutcome commit();

  private:
    void place(int folder, std::string name, const WriteRules& rules, bool checkFolder);
    void spill() override;
    void flush();
    void openTemporary(bool executable);
    void diverge();
    void put(std::string_view bytes);
    KeptFolderTime& kept();
    void removeTemporary();

    std::string path_;
    std::string name_;      // the final name in its folder, links followed
    std::string tempName_;  // the temporary file beside it
    Descriptor ownFolder_;  // the folder, when this object opened it
    int folderFd_ = -1;
    std::optional<KeptFolderTime> kept_;  // from the first change of the folder on
    int fd_ = -1;
    bool replaces_ = false;  // an existing file: its bits and owner go to the new one
    mode_t oldMode_ = 0;
    uid_t oldOwner_ = 0;
    gid_t oldGroup_ = 0;
    bool executable_ = false;
    std::optional<std::int64_t> time_;
    // While the new bytes equal the old file's, nothing is written; `matched_` of them so far.
    int oldFd_ = -1;
    std::uint64_t matched_ = 0;
    bool declined_ = false;
    std::function<bool()> mayReplace_;
};

// Whether `name` has exactly the shape of the temporary files this program's writers make:
// ".tabulo-" PID "-" twelve letters or digits ".tmp".
bool isTemporaryName(std::string_view name);
// Removes from the open folder the temporary files of writers whose process has ended;
// `names` are the candidates a listing of the folder found. Names of another shape, and those
// of processes still running, stay.
void removeStaleTemporaries(int folder, const std::vector<std::string>& names);

}  // namespace tabulo
