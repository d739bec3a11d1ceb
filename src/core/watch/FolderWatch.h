#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace tabulo {

// Tells which folders of a tree changed, so that only their pages need writing again.
// Linux only (inotify); elsewhere the constructor throws. One thread calls wait(); interrupt()
// may come from any thread or a signal handler.
class FolderWatch {
  public:
    // Watches `tree` and every folder below it that a walk enters under its own path: hidden
    // folders (leading ".") and symbolic links are not followed, and nothing outside the tree
    // is ever watched. `tree` is resolved first; every path reported lies below that spelling.
    // At most `maxFolders` folders are watched, a limit of the caller's besides the system's
    // (fs.inotify.max_user_watches); past either, see incomplete().
    // Throws std::system_error when inotify is unavailable, or `tree` is no folder or cannot
    // be watched itself.
    explicit FolderWatch(const std::string& tree,
                         std::size_t maxFolders = std::numeric_limits<std::size_t>::max());
    ~FolderWatch();  // closes every watch and descriptor
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    struct Changes {
        // Folders whose own listing changed: an entry created, deleted, renamed in or out,
        // written and closed, or its attributes changed. A folder that appeared (made or moved
        // in, or renamed) is here too, with every folder below it, as their pages are missing
        // or show the old path. Folders gone by the end of the wait are left out.
        std::set<std::string> listings;
        // Folders in which a subfolder appeared, vanished or was renamed: their parents' pages
        // show them too. Each is in `listings` as well.
        std::set<std::string> structure;
        // Events were lost: the caller should index the whole tree again. The watches have
        // been set up afresh from the tree as it is now.
        bool overflow = false;
        // A folder that appeared could not be watched, for the limit of watches: changes in
        // it and below it go unseen from now on. It is still reported in `listings`, the
        // folders below it are not.
        bool incomplete = false;

        bool empty() const { return listings.empty() && !overflow && !incomplete; }
    };

    // Waits up to `timeout` for a first event (a negative timeout waits for ever), then keeps
    // collecting until `quiet` passes without a new one, but no longer than `longest` after
    // the first; returns what changed, empty when the timeout passed. interrupt() ends the
    // wait at once with what was collected so far. New subfolders are watched as they appear
    // (those made inside them before the watch took hold are found by scanning them once);
    // vanished ones and those moved out of the tree are forgotten. When the tree itself is
    // deleted or moved away, it is reported and every watch let go: watchedFolders() is 0.
    Changes wait(std::chrono::milliseconds timeout,
                 std::chrono::milliseconds quiet = std::chrono::seconds(1),
                 std::chrono::milliseconds longest = std::chrono::seconds(10));

    // Makes the running wait() return, or the next one if none runs. Async-signal-safe.
    void interrupt();

    // Names of the caller's own outputs (index.html and such): events for files so named are
    // dropped, as writing the pages must not start another round. The program's temporary
    // files (".tabulo-*.tmp") are always dropped.
    void ignoreWritesOf(std::function<bool(std::string_view name)> filter);

    std::size_t watchedFolders() const;
    // Whether some folder was left unwatched for the limit of watches, since construction.
    bool incomplete() const;
    const std::string& tree() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tabulo
