#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "common/Encoding.h"
#include "common/TextOut.h"

namespace tabulo {

// Where a file may land once its links are followed, and what its folder needs first.
struct WriteRules {
    WriteRules(std::string confine = {}, bool tree = false)
        : confineTo(std::move(confine)), indexedTree(tree) {}

    // A resolved folder the file's real place must lie in; empty: anywhere.
    std::string confineTo;
    // Whether `confineTo` is the folder being indexed (for the message when it is left).
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
};

enum class WriteOutcome { Written, Unchanged, Declined };

// Error codes of this file's own category: the file would land outside its folder.
enum class WriteError { OutsideTree = 1, OutsideFolder };
const std::error_category& writeCategory();

// A text file written in windows-1252 with CR LF line ends, put in place whole or not at all:
// it is written to a temporary file created exclusively in the target's folder (never through
// a link) and renamed over the final name by commit(). A replaced file keeps its permission
// bits; when the final name is a link, the link stays and its target is replaced. Dropping the
// object without commit() leaves the old file as it was. Failures throw std::system_error.
class TextFile : public TextOut {
  public:
    TextFile(std::string path, Unmappable policy, const WriteRules& rules = {});
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    const std::string& path() const { return path_; }

    // Writes what is buffered and puts the file in place (unless it was unchanged or the
    // replacement was declined).
    WriteOutcome commit();

  private:
    void spill() override;
    void flush();
    void openTemporary(bool executable);
    void diverge();
    void put(std::string_view bytes);

    std::string path_;
    std::string name_;      // the final name in its folder, links followed
    std::string tempName_;  // the temporary file beside it
    int folderFd_ = -1;
    int fd_ = -1;
    bool replaces_ = false;  // an existing file: its bits and owner go to the new one
    mode_t oldMode_ = 0;
    uid_t oldOwner_ = 0;
    gid_t oldGroup_ = 0;
    bool executable_ = false;
    // While the new bytes equal the old file's, nothing is written; `matched_` of them so far.
    int oldFd_ = -1;
    std::uint64_t matched_ = 0;
    bool declined_ = false;
    std::function<bool()> mayReplace_;
};

// Whether `name` is a temporary file that a writer of this program leaves while it works.
bool isTemporaryName(std::string_view name);
// Removes from the folder the temporary files of runs that no longer go on; `names` are the
// candidates a listing of the folder found.
void removeStaleTemporaries(const std::string& folder, const std::vector<std::string>& names);

// Puts what a run writes under `folder` on disk: its file system is flushed once at the end
// (finish), and meanwhile now and then on a thread of its own, so that the disk works while
// the run does rather than after it.
class FileSystemFlush {
  public:
    explicit FileSystemFlush(const std::string& folder);
    ~FileSystemFlush();
    FileSystemFlush(const FileSystemFlush&) = delete;
    FileSystemFlush& operator=(const FileSystemFlush&) = delete;
    void finish();

  private:
    int fd_ = -1;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

// The bytes of an ordinary file. Nothing, with `ec` clear, when `path` is something else (a
// folder, a pipe, a device), which is never opened for reading and so never blocks; nothing,
// with `ec` set, when the file cannot be opened or read.
std::optional<std::string> readRegularFile(const std::string& path, std::error_code& ec);

// Whether something (file or folder) exists at `path`.
bool pathExists(const std::string& path);
bool isFile(const std::string& path);         // exists and is no folder
bool isRegularFile(const std::string& path);  // an ordinary file
// Whether the folder holds at least one ordinary file (false when it cannot be read).
bool holdsAFile(const std::string& folder);

}  // namespace tabulo
