#include "watch/FolderWatch.h"

#include <cerrno>
#include <system_error>

#ifdef __linux__

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "common/Descriptor.h"
#include "common/FolderTime.h"
#include "common/Paths.h"
#include "common/TextFile.h"

namespace tabulo {

namespace {

// The events a page can show. Links are never followed, and only folders are watched: a link
// named like a folder fails with ENOTDIR instead of watching what it points to.
constexpr std::uint32_t kMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF |
                                IN_DONT_FOLLOW | IN_ONLYDIR | IN_EXCL_UNLINK;

int opened(int fd, const char* what) {
    if (fd < 0) throw std::system_error(errno, std::generic_category(), what);
    return fd;
}

std::string child(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.back() != '/') path += '/';
    path += name;
    return path;
}

// Whether both paths reach one folder, as through a bind mount.
bool sameFolder(const std::string& one, const std::string& other) {
    struct stat a, b;
    return ::lstat(one.c_str(), &a) == 0 && ::lstat(other.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string parentOf(const std::string& folder) {
    auto slash = folder.rfind('/');
    return slash == 0 ? "/" : folder.substr(0, slash);
}

}  // namespace

struct FolderWatch::Impl {
    Impl(std::string top, std::size_t most)
        : tree(std::move(top)),
          maxFolders(most),
          inotify(opened(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC), "inotify")),
          wake(opened(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC), "eventfd")) {}

    std::string tree;
    std::size_t maxFolders;
    Descriptor inotify;
    Descriptor wake;
    std::unordered_map<int, std::string> pathOf;
    std::map<std::string, int> wdOf;  // sorted, so that a folder and all below it are a range
    // Watched folders renamed away, by the cookie of the rename, until it is known whether
    // they landed where a watch sees them; the folder's own IN_MOVE_SELF follows the parents'.
    std::map<std::uint32_t, std::string> leaving;
    std::function<bool(std::string_view)> ownOutput;
    bool missed = false;
    int lastError = 0;
    std::set<std::string> unwatched;  // new folders of this wait left out for the limit

    // Watches `folder`; false when it is gone, not a folder, reached through a link, watched
    // already under another path (a bind mount: walking it again could loop), or past a limit.
    bool watch(const std::string& folder, Changes* changes) {
        int wd = -1;
        if (pathOf.size() < maxFolders) {
            wd = ::inotify_add_watch(inotify.get(), folder.c_str(), kMask);
            lastError = errno;
        } else {
            lastError = ENOSPC;
        }
        if (wd < 0) {
            if (lastError == ENOSPC || lastError == ENOMEM) {
                missed = true;
                if (changes) changes->incomplete = true;
            }
            return false;
        }
        auto known = pathOf.find(wd);
        // Only the last component is kept from being followed: a folder above it may have
        // been swapped for a link since.
        if (realPath(folder) != folder) {
            if (known == pathOf.end()) ::inotify_rm_watch(inotify.get(), wd);
            return false;
        }
        if (known != pathOf.end()) {
            // A folder renamed into one made just before: found by the scan of the new one
            // ahead of its own rename's events. Its watches keep, under the new path.
            if (changes && !sameFolder(known->second, folder))
                rename(std::string(known->second), folder, *changes);
            return false;
        }
        pathOf[wd] = folder;
        wdOf[folder] = wd;
        return true;
    }

    // Watches `top` and the folders below it; with `changes`, reports them all as new.
    void watchTree(const std::string& top, Changes* changes) {
        std::vector<std::string> pending{top};
        while (!pending.empty()) {
            std::string folder = std::move(pending.back());
            pending.pop_back();
            // Watched before it is read, so that nothing made meanwhile goes unseen.
            if (!watch(folder, changes)) {
                // Left out for the limit, it still needs its page once.
                if (changes && (lastError == ENOSPC || lastError == ENOMEM)) {
                    changes->listings.insert(folder);
                    unwatched.insert(folder);
                }
                continue;
            }
            if (changes) changes->listings.insert(folder);
            int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) continue;
            DIR* dir = ::fdopendir(fd);
            if (!dir) {
                ::close(fd);
                continue;
            }
            while (dirent* d = ::readdir(dir)) {
                if (d->d_name[0] == '.') continue;
                bool isFolder = d->d_type == DT_DIR;
                if (d->d_type == DT_UNKNOWN) {
                    struct stat st;
                    isFolder = ::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                               S_ISDIR(st.st_mode);
                }
                if (!isFolder) continue;
                pending.push_back(child(folder, d->d_name));
                if (changes) changes->structure.insert(folder);
            }
            ::closedir(dir);
        }
    }

    // The watched folders at `top` and below it.
    std::vector<std::map<std::string, int>::iterator> subtree(const std::string& top) {
        std::vector<std::map<std::string, int>::iterator> found;
        if (auto self = wdOf.find(top); self != wdOf.end()) found.push_back(self);
        // Below `top` means after "top/" and before "top0", '0' following '/'.
        std::string below = child(top, "");
        std::string end = below;
        end.back() = '/' + 1;
        for (auto it = wdOf.lower_bound(below); it != wdOf.end() && it->first < end; ++it)
            found.push_back(it);
        return found;
    }

    void forget(const std::string& top) {
        for (auto it : subtree(top)) {
            // The kernel may have let the watch go already; its IN_IGNORED then finds nothing.
            ::inotify_rm_watch(inotify.get(), it->second);
            pathOf.erase(it->second);
            wdOf.erase(it);
        }
    }

    // A folder renamed inside the tree keeps its watches; only their paths change.
    void rename(const std::string& from, const std::string& to, Changes& changes) {
        forget(to);  // an empty folder the rename replaced
        std::erase_if(leaving, [&](const auto& entry) { return entry.second == from; });
        std::vector<std::pair<std::string, int>> moved;
        for (auto it : subtree(from)) {
            moved.emplace_back(to + it->first.substr(from.size()), it->second);
            wdOf.erase(it);
        }
        for (auto& [path, wd] : moved) {
            pathOf[wd] = path;
            wdOf[path] = wd;
            changes.listings.insert(path);
        }
    }

    void vanished(const std::string& folder, Changes& changes) {
        forget(folder);  // the tree itself: every watch
        if (folder == tree) {
            changes.listings.insert(tree);
            leaving.clear();
        } else {
            changes.listings.insert(parentOf(folder));
            changes.structure.insert(parentOf(folder));
        }
    }

    // Lost events leave the watches' paths in doubt: they are set up afresh.
    void rewatch() {
        for (const auto& [wd, path] : pathOf) ::inotify_rm_watch(inotify.get(), wd);
        pathOf.clear();
        wdOf.clear();
        leaving.clear();
        watchTree(tree, nullptr);
    }

    // Whether the event is one the caller is told of.
    bool handle(const inotify_event& event, Changes& changes) {
        if (event.mask & IN_Q_OVERFLOW) {
            changes.overflow = true;
            rewatch();
            return true;
        }
        auto known = pathOf.find(event.wd);
        if (known == pathOf.end()) return false;  // a watch let go, whose events still come
        const std::string folder = known->second;
        if (event.mask & IN_IGNORED) {
            forget(folder);
            return false;
        }
        if (event.mask & (IN_DELETE_SELF | IN_UNMOUNT)) {
            vanished(folder, changes);
            return true;
        }
        if (event.mask & IN_MOVE_SELF) {
            // Renamed inside the tree, its parent's IN_MOVED_TO came first and took it off
            // `leaving`; still there, it went where no watch sees it, and inotify would follow.
            auto gone = std::find_if(leaving.begin(), leaving.end(),
                                     [&](const auto& entry) { return entry.second == folder; });
            if (gone == leaving.end() && folder != tree) return false;
            if (gone != leaving.end()) leaving.erase(gone);
            vanished(folder, changes);
            return true;
        }
        if (event.len == 0) return false;  // the folder's own attributes: its parent is told
        std::string_view name(event.name);
        bool hidden = name.starts_with('.');
        if (!(event.mask & IN_ISDIR)) {
            if (isTemporaryName(name) || (ownOutput && ownOutput(name))) return false;
            changes.listings.insert(folder);
            return true;
        }
        if (event.mask & IN_ATTRIB) {
            // The folder's row shows its time; a time our own writer gave back changes nothing.
            struct stat st;
            if (::stat(child(folder, name).c_str(), &st) == 0 &&
                wasGivenBackItsTime({st.st_dev, st.st_ino}, st.st_mtim))
                return false;
            changes.listings.insert(folder);
            return true;
        }
        changes.listings.insert(folder);
        changes.structure.insert(folder);
        std::string sub = child(folder, name);
        if (event.mask & IN_CREATE) {
            if (!hidden) watchTree(sub, &changes);
        } else if (event.mask & IN_DELETE) {
            forget(sub);
        } else if (event.mask & IN_MOVED_FROM) {
            if (wdOf.contains(sub)) leaving[event.cookie] = sub;
        } else if (event.mask & IN_MOVED_TO) {
            if (auto from = leaving.find(event.cookie); from != leaving.end()) {
                std::string old = std::move(from->second);
                leaving.erase(from);
                if (hidden)
                    forget(old);
                else
                    rename(old, sub, changes);
            } else if (!hidden) {
                watchTree(sub, &changes);
            }
        }
        return true;
    }

    // Folders that vanished, moved away or were renamed during the wait have no page to
    // write; only those watched now are reported, the tree itself and those left out aside.
    void settle(Changes& changes) {
        auto stale = [&](const std::string& folder) {
            return folder != tree && !wdOf.contains(folder) && !unwatched.contains(folder);
        };
        std::erase_if(changes.listings, stale);
        std::erase_if(changes.structure, stale);
        unwatched.clear();
    }

    // Reads what is queued, one buffer full; whether any of it counts.
    bool readEvents(Changes& changes) {
        alignas(inotify_event) char buffer[64 * 1024];
        ssize_t size;
        do {
            size = ::read(inotify.get(), buffer, sizeof buffer);
        } while (size < 0 && errno == EINTR);
        if (size < 0) {
            if (errno == EAGAIN) return false;
            throw std::system_error(errno, std::generic_category(), "inotify");
        }
        bool counted = false;
        for (ssize_t at = 0; at < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            counted |= handle(*event, changes);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        return counted;
    }
};

FolderWatch::FolderWatch(const std::string& tree, std::size_t maxFolders) {
    auto real = realPath(tree);
    if (!real) throw std::system_error(errno, std::generic_category(), tree);
    impl_ = std::make_unique<Impl>(std::move(*real), maxFolders);
    impl_->watchTree(impl_->tree, nullptr);
    if (!impl_->wdOf.contains(impl_->tree))
        throw std::system_error(impl_->lastError, std::generic_category(), tree);
}

FolderWatch::~FolderWatch() = default;  // closing the inotify descriptor lets every watch go

FolderWatch::Changes FolderWatch::wait(std::chrono::milliseconds timeout,
                                       std::chrono::milliseconds quiet,
                                       std::chrono::milliseconds longest) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto never = Clock::time_point::max();
    auto after = [never](Clock::time_point from, std::chrono::milliseconds span) {
        return span < span.zero() || span >= never - from ? never : from + span;
    };
    const auto firstBy = after(start, timeout);
    std::optional<Clock::time_point> first, last;
    auto until = [&] {
        return first ? std::min(after(*last, quiet), after(*first, longest)) : firstBy;
    };
    Changes changes;
    for (;;) {
        int wait = -1;
        if (auto end = until(); end != never) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
            wait = static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
        }
        pollfd fds[2] = {{impl_->inotify.get(), POLLIN, 0}, {impl_->wake.get(), POLLIN, 0}};
        int ready = ::poll(fds, 2, wait);
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (fds[1].revents) {
            std::uint64_t count;
            [[maybe_unused]] auto drained = ::read(impl_->wake.get(), &count, sizeof count);
            break;
        }
        if (ready == 0) break;
        if ((fds[0].revents & POLLIN) && impl_->readEvents(changes)) {
            last = Clock::now();
            if (!first) first = last;
        }
        // Events of no interest keep coming: the deadline still holds.
        if (Clock::now() >= until()) break;
    }
    impl_->settle(changes);
    return changes;
}

void FolderWatch::interrupt() {
    int saved = errno;  // a signal handler must leave it as it was
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(impl_->wake.get(), &one, sizeof one);
    errno = saved;
}

void FolderWatch::ignoreWritesOf(std::function<bool(std::string_view name)> filter) {
    impl_->ownOutput = std::move(filter);
}

std::size_t FolderWatch::watchedFolders() const {
    return impl_->pathOf.size();
}

bool FolderWatch::incomplete() const {
    return impl_->missed;
}

const std::string& FolderWatch::tree() const {
    return impl_->tree;
}

}  // namespace tabulo

#else  // no inotify: the caller indexes on demand only

namespace tabulo {

struct FolderWatch::Impl {
    std::string tree;
};

FolderWatch::FolderWatch(std::string, std::size_t) {
    throw std::system_error(ENOSYS, std::generic_category(), "watching folders");
}
FolderWatch::~FolderWatch() = default;
FolderWatch::Changes FolderWatch::wait(std::chrono::milliseconds, std::chrono::milliseconds,
                                       std::chrono::milliseconds) {
    return {};
}
void FolderWatch::interrupt() {}
void FolderWatch::ignoreWritesOf(std::function<bool(std::string_view)>) {}
std::size_t FolderWatch::watchedFolders() const {
    return 0;
}
bool FolderWatch::incomplete() const {
    return false;
}
const std::string& FolderWatch::tree() const {
    return impl_->tree;
}

}  // namespace tabulo

#endif
