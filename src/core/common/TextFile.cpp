#include "common/TextFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <random>

#include "common/Faults.h"
#include "common/FileSystemFlush.h"
#include "common/FolderTime.h"

namespace tabulo {

namespace {

constexpr std::size_t kFlushAt = std::size_t{64} * 1024;
constexpr int kMaxLinks = 40;
constexpr std::string_view kTempPrefix = ".tabulo-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kTempRandom = 12;
constexpr char kTempChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";

[[noreturn]] void fail(int err, const std::string& what) {
    throw std::system_error(err, std::generic_category(), what);
}

std::pair<std::string, std::string> splitFolder(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::string randomSuffix() {
    thread_local std::mt19937_64 rng{std::random_device{}()};
    std::string out;
    for (std::size_t i = 0; i < kTempRandom; ++i) out += kTempChars[rng() % (sizeof kTempChars - 1)];
    return out;
}

// The process that owns a temporary name, from the pid in it; 0 when the name has none.
pid_t ownerOf(std::string_view name) {
    if (!isTemporaryName(name)) return 0;
    name.remove_prefix(kTempPrefix.size());
    pid_t pid = 0;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    return ec == std::errc() && *end == '-' ? pid : 0;
}

bool isStale(std::string_view name) {
    pid_t owner = ownerOf(name);
    if (owner <= 0 || owner == ::getpid()) return false;  // no owner to ask, or ours
    return ::kill(owner, 0) != 0 && errno == ESRCH;
}

void sweepFolder(int folderFd) {
    Descriptor copy = reopenFolder(folderFd);
    DIR* dir = copy ? ::fdopendir(copy.get()) : nullptr;
    if (!dir) return;
    copy.release();
    std::vector<std::string> stale;
    while (dirent* d = ::readdir(dir)) {
        if (isStale(d->d_name)) stale.emplace_back(d->d_name);
    }
    ::closedir(dir);
    removeStaleTemporaries(folderFd, stale);
}

}  // namespace

TextFile::TextFile(int folder, std::string name, std::string shown, Unmappable policy,
                   const WriteRules& rules)
    : TextOut(policy), path_(std::move(shown)) {
    place(folder, std::move(name), rules, false);
}

TextFile::TextFile(std::string path, Unmappable policy, const WriteRules& rules)
    : TextOut(policy), path_(std::move(path)) {
    auto [folder, name] = splitFolder(path_);
    ownFolder_.reset(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!ownFolder_) fail(errno, path_);
    place(ownFolder_.get(), name, rules, rules.within.has_value());
}

// Finds the folder the file lands in: a link in the last place is followed (the link stays,
// its target is written), and where it leads must lie within the rules' folder.
void TextFile::place(int folder, std::string name, const WriteRules& rules, bool checkFolder) {
    int here = folder;
    bool followed = false;
    struct stat st;
    for (int hops = 0;; ++hops) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            fail(EISDIR, path_);
        if (name.size() > NAME_MAX) fail(ENAMETOOLONG, path_);
        if (::fstatat(here, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) fail(errno, path_);
            break;  // a new file
        }
        if (S_ISLNK(st.st_mode)) {
            if (hops >= kMaxLinks) fail(ELOOP, path_);
            char buf[PATH_MAX];
            ssize_t n = ::readlinkat(here, name.c_str(), buf, sizeof buf);
            if (n < 0) fail(errno, path_);
            auto [linkFolder, linkName] = splitFolder(std::string(buf, static_cast<std::size_t>(n)));
            if (!linkFolder.empty()) {
                Descriptor next(::openat(here, linkFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
                if (!next) fail(errno, path_);
                ownFolder_ = std::move(next);
                here = ownFolder_.get();
                followed = true;
            }
            name = std::move(linkName);
            continue;
        }
        if (S_ISDIR(st.st_mode)) fail(EISDIR, path_);
        replaces_ = S_ISREG(st.st_mode);
        oldMode_ = st.st_mode & 07777;
        oldOwner_ = st.st_uid;
        oldGroup_ = st.st_gid;
        break;
    }
    if (rules.within && (followed || checkFolder) && !isBeneath(here, *rules.within)) {
        throw placeError(rules.indexedTree ? WriteError::OutsideTree : WriteError::OutsideFolder,
                         path_);
    }
    folderFd_ = here;
    name_ = std::move(name);
    if (rules.sweep) sweepFolder(folderFd_);
    if (rules.keepUnchanged && replaces_) {
        oldFd_ = ::openat(folderFd_, name_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (oldFd_ < 0) fail(errno, path_);
    } else {
        openTemporary(rules.executable);
    }
    executable_ = rules.executable;
    mayReplace_ = rules.mayReplace;
    time_ = rules.time;
}

void TextFile::openTemporary(bool executable) {
    // Exclusive and never through a link: a name planted in advance only makes us pick
    // another one. A new file gets its bits here, the umask applied.
    for (int attempt = 0; fd_ < 0; ++attempt) {
        static const std::string pid = std::to_string(::getpid());
        tempName_ =
            std::string(kTempPrefix) + pid + "-" + randomSuffix() + std::string(kTempSuffix);
        fd_ = kept().change([&] {
            return ::openat(folderFd_, tempName_.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            executable ? 0777 : 0666);
        });
        if (fd_ < 0 && (errno != EEXIST || attempt >= 100)) fail(errno, path_);
    }
}

// The new bytes part from the old file's: unless declined, the temporary file starts with the
// bytes that matched, read back from the old file.
void TextFile::diverge() {
    Descriptor old(oldFd_);
    oldFd_ = -1;
    if (mayReplace_ && !mayReplace_()) {
        declined_ = true;
        return;
    }
    openTemporary(executable_);
    char chunk[65536];
    for (std::uint64_t done = 0; done < matched_;) {
        auto want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, matched_ - done));
        ssize_t n = ::pread(old.get(), chunk, want, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : EIO, path_);
        put(std::string_view(chunk, static_cast<std::size_t>(n)));
        done += static_cast<std::uint64_t>(n);
    }
}

TextFile::~TextFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        removeTemporary();
    }
    if (oldFd_ >= 0) ::close(oldFd_);
}

KeptFolderTime& TextFile::kept() {
    if (!kept_) kept_.emplace(folderFd_);
    return *kept_;
}

void TextFile::removeTemporary() {
    kept().change([&] { return ::unlinkat(folderFd_, tempName_.c_str(), 0); });
}

void TextFile::spill() {
    if (buffer_.size() >= kFlushAt) flush();
}

void TextFile::put(std::string_view bytes) {
    if (!bytes.empty() && injectedFault(Fault::Write)) fail(ENOSPC, path_);
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
        ssize_t n;
        do {
            n = ::pread(oldFd_, &more, 1, static_cast<off_t>(matched_));
        } while (n < 0 && errno == EINTR);
        if (n == 0) {
            ::close(oldFd_);
            oldFd_ = -1;
            return WriteOutcome::Unchanged;
        }
        diverge();  // the old file is longer
    }
    if (declined_) return WriteOutcome::Declined;
    if (replaces_) {
        // Root replaces a user's page: it stays the user's (best effort). The owner goes
        // first, as changing it clears the set-user and set-group bits.
        if (::geteuid() == 0) (void)!::fchown(fd_, oldOwner_, oldGroup_);
        if (::fchmod(fd_, oldMode_) != 0) fail(errno, path_);
    }
    if (time_) {
        const timespec times[2] = {{0, UTIME_NOW}, {static_cast<time_t>(*time_), 0}};
        if (::futimens(fd_, times) != 0) fail(errno, path_);
    }
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        int err = errno;
        removeTemporary();
        fail(err, path_);
    }
    int err = injectedFault(Fault::Rename) ? EIO : kept().change([&] {
        return ::renameat(folderFd_, tempName_.c_str(), folderFd_, name_.c_str()) == 0 ? 0 : errno;
    });
    if (err != 0) {
        removeTemporary();
        fail(err, path_);
    }
    countCommittedFile();
    return WriteOutcome::Written;
}

bool isTemporaryName(std::string_view name) {
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return false;
    std::string_view middle = name.substr(
        kTempPrefix.size(), name.size() - kTempPrefix.size() - kTempSuffix.size());
    auto dash = middle.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 10) return false;
    std::string_view pid = middle.substr(0, dash), random = middle.substr(dash + 1);
    return std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
           random.size() == kTempRandom &&
           random.find_first_not_of(kTempChars) == std::string_view::npos;
}

void removeStaleTemporaries(int folder, const std::vector<std::string>& names) {
    std::optional<KeptFolderTime> kept;
    for (const std::string& name : names) {
        if (!isStale(name)) continue;
        if (!kept) kept.emplace(folder);
        kept->change([&] { return ::unlinkat(folder, name.c_str(), 0); });
    }
}

}  // namespace tabulo
