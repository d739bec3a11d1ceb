#include "common/FolderAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <vector>

#ifdef __linux__
#include <linux/openat2.h>
#endif

#include "common/Faults.h"

namespace tabulo {

namespace {

constexpr int kMaxLinks = 40;
constexpr int kMaxDepth = 4096;

class WriteCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "tabulo-place"; }
    std::string message(int code) const override {
        switch (static_cast<WriteError>(code)) {
            case WriteError::OutsideTree:
                return "it leads outside the folder being indexed";
            case WriteError::OutsideFolder:
                return "it leads outside its own folder";
            case WriteError::Replaced:
                return "it was replaced while the run went on";
        }
        return "unknown";
    }
};

[[noreturn]] void fail(int err, const std::string& what) {
    throw std::system_error(err, std::generic_category(), what);
}

FolderId idOfStat(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

std::vector<std::string> parts(std::string_view path) {
    std::vector<std::string> out;
    while (!path.empty()) {
        auto slash = path.find('/');
        std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != ".") out.emplace_back(part);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return out;
}

std::string display(std::string_view relative) {
    return relative.empty() ? "." : std::string(relative);
}

// One name at a time, each opened without following links; a link's text is put in place of
// its name, and ".." goes back along what was opened, never above `root`.
Descriptor walkBeneath(int root, std::string_view relative, bool followLinks) {
    std::vector<Descriptor> opened;
    opened.push_back(duplicate(root));
    std::deque<std::string> left;
    for (auto& p : parts(relative)) left.push_back(std::move(p));
    int links = 0;
    while (!left.empty()) {
        std::string name = std::move(left.front());
        left.pop_front();
        if (name == "..") {
            if (opened.size() == 1) throw placeError(WriteError::OutsideTree, display(relative));
            opened.pop_back();
            continue;
        }
        int here = opened.back().get();
        Descriptor next(::openat(here, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next) {
            opened.push_back(std::move(next));
            continue;
        }
        int err = errno;
        struct stat st;
        if ((err != ELOOP && err != ENOTDIR) ||
            ::fstatat(here, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) {
            fail(err, display(relative));
        }
        if (!followLinks) throw placeError(WriteError::Replaced, display(relative));
        if (++links > kMaxLinks) fail(ELOOP, display(relative));
        char buf[PATH_MAX];
        ssize_t n = ::readlinkat(here, name.c_str(), buf, sizeof buf);
        if (n < 0) fail(errno, display(relative));
        std::string_view target(buf, static_cast<std::size_t>(n));
        if (target.starts_with('/')) throw placeError(WriteError::OutsideTree, display(relative));
        auto more = parts(target);
        left.insert(left.begin(), more.begin(), more.end());
    }
    return std::move(opened.back());
}

#ifdef __linux__
// Nothing when the kernel has no openat2 (or a filter forbids it): the caller walks instead.
std::optional<Descriptor> kernelBeneath(int root, std::string_view relative, bool followLinks) {
    if (injectedFault(Fault::Openat2)) return std::nullopt;
    std::string path = relative.empty() ? "." : std::string(relative);
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | (followLinks ? 0 : RESOLVE_NO_SYMLINKS);
    for (int attempt = 0; attempt < 8; ++attempt) {
        long fd = ::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how);
        if (fd >= 0) return Descriptor(static_cast<int>(fd));
        switch (errno) {
            case EAGAIN:  // a rename raced with ".."; the kernel asks to try again
                continue;
            case ENOSYS:
            case EPERM:
                return std::nullopt;
            case EXDEV:
                throw placeError(WriteError::OutsideTree, display(relative));
            case ELOOP:
                if (!followLinks) throw placeError(WriteError::Replaced, display(relative));
                fail(ELOOP, display(relative));
            default:
                fail(errno, display(relative));
        }
    }
    return std::nullopt;
}
#endif

// The entry of `parent` that is the folder `child`.
std::optional<std::string> nameIn(int parent, FolderId child) {
    Descriptor copy = reopenFolder(parent);
    DIR* dir = copy ? ::fdopendir(copy.get()) : nullptr;
    if (!dir) return std::nullopt;
    copy.release();
    std::optional<std::string> found;
    while (dirent* d = ::readdir(dir)) {
        std::string_view name = d->d_name;
        if (name == "." || name == "..") continue;
        // The entry's inode differs from the folder's own where something is mounted on it.
        struct stat st;
        if (::fstatat(parent, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
            idOfStat(st) == child) {
            found = std::string(name);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

const std::error_category& writeCategory() {
    static const WriteCategory category;
    return category;
}

std::system_error placeError(WriteError error, const std::string& what) {
    return std::system_error(static_cast<int>(error), writeCategory(), what);
}

FolderId idOf(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) fail(errno, "fstat");
    return idOfStat(st);
}

SharedFolder share(Descriptor folder) {
    return std::make_shared<const Descriptor>(std::move(folder));
}

Descriptor duplicate(int fd) {
    Descriptor copy(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (!copy) fail(errno, "dup");
    return copy;
}

void raiseDescriptorLimit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

Descriptor reopenFolder(int folder) {
    return Descriptor(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

Descriptor openBeneath(int root, std::string_view relative, bool followLinks) {
#ifdef __linux__
    if (auto fd = kernelBeneath(root, relative, followLinks)) return std::move(*fd);
#endif
    return walkBeneath(root, relative, followLinks);
}

Descriptor openResolvedFolder(const std::string& realPath) {
    if (!realPath.starts_with('/')) fail(EINVAL, realPath);
    Descriptor top(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!top) fail(errno, "/");
    try {
        return openBeneath(top.get(), std::string_view(realPath).substr(1), false);
    } catch (const std::system_error& e) {
        throw std::system_error(e.code(), realPath);
    }
}

Descriptor openSubfolder(int parent, const std::string& name, bool throughLink, FolderId expected) {
    Descriptor fd(::openat(parent, name.c_str(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC | (throughLink ? 0 : O_NOFOLLOW)));
    if (!fd) {
        if (!throughLink && (errno == ELOOP || errno == ENOTDIR))
            throw placeError(WriteError::Replaced, name);
        fail(errno, name);
    }
    if (idOf(fd.get()) != expected) throw placeError(WriteError::Replaced, name);
    return fd;
}

bool isBeneath(int folder, FolderId root) {
    Descriptor here = duplicate(folder);
    FolderId id = idOf(here.get());
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        if (id == root) return true;
        Descriptor up(::openat(here.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!up) return false;
        FolderId upId = idOf(up.get());
        if (upId == id) return false;  // the root of the file system, or of a chroot
        here = std::move(up);
        id = upId;
    }
    return false;
}

std::optional<std::string> pathOfFolder(int folder) {
#ifdef __linux__
    char buf[PATH_MAX];
    std::string link = "/proc/self/fd/" + std::to_string(folder);
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
    if (n > 0 && buf[0] == '/') {
        std::string path(buf, static_cast<std::size_t>(n));
        if (path.ends_with(" (deleted)")) return std::nullopt;
        return path;
    }
#endif
    // No /proc, as in a bare chroot: up through "..", looking each folder up in its parent.
    std::vector<std::string> names;
    Descriptor here = duplicate(folder);
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        Descriptor up(::openat(here.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!up) return std::nullopt;
        FolderId id = idOf(here.get());
        if (idOf(up.get()) == id) {
            std::string path;
            for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + *it;
            return path.empty() ? "/" : path;
        }
        auto name = nameIn(up.get(), id);
        if (!name) return std::nullopt;
        names.push_back(std::move(*name));
        here = std::move(up);
    }
    return std::nullopt;
}

}  // namespace tabulo
