#include "common/TextFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <filesystem>
#include <random>
#include <system_error>
#include <tuple>

#include "common/Paths.h"
#include "common/Text.h"

namespace tabulo {

namespace {

constexpr std::size_t kFlushAt = 64 * 1024;
constexpr int kMaxLinks = 40;
constexpr std::string_view kTempPrefix = ".tabulo-";
constexpr std::string_view kTempSuffix = ".tmp";

[[noreturn]] void fail(int err, const std::string& what) {
    throw std::system_error(err, std::generic_category(), what);
}

class WriteCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "tabulo-write"; }
    std::string message(int code) const override {
        return code == static_cast<int>(WriteError::OutsideTree)
                   ? "it leads outside the folder being indexed"
                   : "it leads outside its own folder";
    }
};

std::pair<std::string, std::string> splitFolder(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// Where a link standing in `folderFd` under `name` leads, as a path.
std::string linkTarget(int folderFd, const std::string& folder, const std::string& name,
                       const std::string& path) {
    char buf[PATH_MAX];
    ssize_t n = ::readlinkat(folderFd, name.c_str(), buf, sizeof buf);
    if (n < 0) fail(errno, path);
    std::string target(buf, static_cast<std::size_t>(n));
    return target.starts_with('/') ? target : folder + "/" + target;
}

// The resolved path of an open folder.
std::string folderRealPath(int fd, const std::string& fallback) {
#ifdef __linux__
    char buf[PATH_MAX];
    std::string link = "/proc/self/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
    if (n > 0 && buf[0] == '/') return std::string(buf, static_cast<std::size_t>(n));
#endif
    return realPath(fallback).value_or(fallback);  // no /proc, as in a bare chroot
}

std::string randomSuffix() {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 rng{std::random_device{}()};
    std::string out;
    for (int i = 0; i < 12; ++i) out += kChars[rng() % (sizeof kChars - 1)];
    return out;
}

// The process that owns a temporary name, from the pid in it; 0 when there is none.
pid_t ownerOf(std::string_view name) {
    name.remove_prefix(kTempPrefix.size());
    pid_t pid = 0;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || end == name.data() || *end != '-') return 0;
    return pid;
}

bool isStale(std::string_view name) {
    pid_t owner = ownerOf(name);
    if (owner == ::getpid()) return false;  // one of ours, still being written
    return owner <= 0 || (::kill(owner, 0) != 0 && errno == ESRCH);
}

void sweepFolder(int folderFd) {
    int fd = ::dup(folderFd);
    if (fd < 0) return;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return;
    }
    ::rewinddir(dir);
    while (dirent* d = ::readdir(dir)) {
        if (isTemporaryName(d->d_name) && isStale(d->d_name)) ::unlinkat(folderFd, d->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace

const std::error_category& writeCategory() {
    static const WriteCategory category;
    return category;
}

TextFile::TextFile(std::string path, Unmappable policy, const WriteRules& rules)
    : TextOut(policy), path_(std::move(path)) {
    // The folder the file lands in; a link in the last place is followed, the link stays.
    std::string target = path_, folder;
    struct stat st;
    for (int hops = 0; folderFd_ < 0; ++hops) {
        std::tie(folder, name_) = splitFolder(target);
        if (name_.empty() || name_ == "." || name_ == "..") fail(EISDIR, path_);
        if (name_.size() > NAME_MAX) fail(ENAMETOOLONG, path_);
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) fail(errno, path_);
        if (::fstatat(fd, name_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                int err = errno;
                ::close(fd);
                fail(err, path_);
            }
        } else if (S_ISLNK(st.st_mode)) {
            try {
                if (hops >= kMaxLinks) fail(ELOOP, path_);
                target = linkTarget(fd, folder, name_, path_);
            } catch (...) {
                ::close(fd);
                throw;
            }
            ::close(fd);
            continue;
        } else if (S_ISDIR(st.st_mode)) {
            ::close(fd);
            fail(EISDIR, path_);
        } else {
            replaces_ = S_ISREG(st.st_mode);
            oldMode_ = st.st_mode & 07777;
            oldOwner_ = st.st_uid;
            oldGroup_ = st.st_gid;
        }
        folderFd_ = fd;
    }
    try {
        if (!rules.confineTo.empty() &&
            !isInside(folderRealPath(folderFd_, folder), rules.confineTo)) {
            throw std::system_error(static_cast<int>(rules.indexedTree ? WriteError::OutsideTree
                                                                       : WriteError::OutsideFolder),
                                    writeCategory(), path_);
        }
        if (rules.sweep) sweepFolder(folderFd_);
        if (rules.keepUnchanged && replaces_) {
            oldFd_ = ::openat(folderFd_, name_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (oldFd_ < 0) fail(errno, path_);
        } else {
            openTemporary(rules.executable);
        }
    } catch (...) {
        ::close(folderFd_);
        folderFd_ = -1;
        throw;
    }
    executable_ = rules.executable;
    mayReplace_ = rules.mayReplace;
}

void TextFile::openTemporary(bool executable) {
    // Exclusive and never through a link: a name planted in advance only makes us pick
    // another one. A new file gets its bits here, the umask applied.
    for (int attempt = 0; fd_ < 0; ++attempt) {
        static const std::string pid = std::to_string(::getpid());
        tempName_ =
            std::string(kTempPrefix) + pid + "-" + randomSuffix() + std::string(kTempSuffix);
        fd_ = ::openat(folderFd_, tempName_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       executable ? 0777 : 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt >= 100)) fail(errno, path_);
    }
}

// The new bytes part from the old file's: unless declined, the temporary file starts with the
// bytes that matched, read back from the old file.
void TextFile::diverge() {
    int old = oldFd_;
    oldFd_ = -1;
    if (mayReplace_ && !mayReplace_()) {
        ::close(old);
        declined_ = true;
        return;
    }
    try {
        openTemporary(executable_);
        char chunk[65536];
        for (std::uint64_t done = 0; done < matched_;) {
            auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, matched_ - done));
            ssize_t n = ::pread(old, chunk, want, static_cast<off_t>(done));
            if (n <= 0) fail(n < 0 ? errno : EIO, path_);
            put(std::string_view(chunk, static_cast<std::size_t>(n)));
            done += static_cast<std::uint64_t>(n);
        }
    } catch (...) {
        ::close(old);
        throw;
    }
    ::close(old);
}

TextFile::~TextFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlinkat(folderFd_, tempName_.c_str(), 0);
    }
    if (oldFd_ >= 0) ::close(oldFd_);
    if (folderFd_ >= 0) ::close(folderFd_);
}

void TextFile::spill() {
    if (buffer_.size() >= kFlushAt) flush();
}

void TextFile::put(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno, path_);
        }
        done += static_cast<std::size_t>(n);
    }
}

void TextFile::flush() {
    if (oldFd_ >= 0) {
        // Still equal to the old file so far? Then nothing needs writing yet.
        std::string old(buffer_.size(), '\0');
        std::size_t got = 0;
        while (got < old.size()) {
            ssize_t n = ::pread(oldFd_, old.data() + got, old.size() - got,
                                static_cast<off_t>(matched_ + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        if (got == buffer_.size() && old == buffer_) {
            matched_ += got;
            buffer_.clear();
            return;
        }
        diverge();
    }
    if (!declined_) put(buffer_);
    buffer_.clear();
}

WriteOutcome TextFile::commit() {
    flush();
    if (oldFd_ >= 0) {
        char more;
        ssize_t n = ::pread(oldFd_, &more, 1, static_cast<off_t>(matched_));
        if (n == 0) {
            ::close(oldFd_);
            oldFd_ = -1;
            return WriteOutcome::Unchanged;
        }
        diverge();  // the old file is longer
    }
    if (declined_) return WriteOutcome::Declined;
    if (replaces_) {
        // Root replaces a user's page: it stays the user's (best effort).
        if (::geteuid() == 0) (void)!::fchown(fd_, oldOwner_, oldGroup_);
        if (::fchmod(fd_, oldMode_) != 0) fail(errno, path_);
    }
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        int err = errno;
        ::unlinkat(folderFd_, tempName_.c_str(), 0);
        fail(err, path_);
    }
    if (::renameat(folderFd_, tempName_.c_str(), folderFd_, name_.c_str()) != 0) {
        int err = errno;
        ::unlinkat(folderFd_, tempName_.c_str(), 0);
        fail(err, path_);
    }
    return WriteOutcome::Written;
}

bool isTemporaryName(std::string_view name) {
    return name.starts_with(kTempPrefix) && name.ends_with(kTempSuffix) &&
           name.size() > kTempPrefix.size() + kTempSuffix.size();
}

void removeStaleTemporaries(const std::string& folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (isTemporaryName(name) && isStale(name))
            ::unlinkat(AT_FDCWD, (folder + "/" + name).c_str(), 0);
    }
}

namespace {

void flushFileSystem(int fd) {
#ifdef __linux__
    ::syncfs(fd);
#else
    (void)fd;
    ::sync();
#endif
}

}  // namespace

FileSystemFlush::FileSystemFlush(const std::string& folder)
    : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) return;
    thread_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_; })) {
            lock.unlock();
            flushFileSystem(fd_);
            lock.lock();
        }
    });
}

FileSystemFlush::~FileSystemFlush() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

void FileSystemFlush::finish() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) flushFileSystem(fd_);
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace tabulo

namespace tabulo {

std::optional<std::string> readRegularFile(const std::string& path, std::error_code& ec) {
    ec.clear();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        ec.assign(errno, std::generic_category());
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    // Non-blocking, in case a pipe took the file's place since the test.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        ec.assign(errno, std::generic_category());
        return std::nullopt;
    }
    std::string bytes;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ec.assign(errno, std::generic_category());
            ::close(fd);
            return std::nullopt;
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

bool isRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool holdsAFile(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.is_regular_file(ec)) return true;
    }
    return false;
}

}  // namespace tabulo
