#include "common/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/Descriptor.h"

namespace tabulo {

std::optional<std::string> readRegularFileAt(int folder, const std::string& name,
                                             std::error_code& ec, std::size_t limit) {
    ec.clear();
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, 0) != 0) {
        ec.assign(errno, std::generic_category());
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    if (static_cast<std::uint64_t>(st.st_size) > limit) {
        ec.assign(EFBIG, std::generic_category());
        return std::nullopt;
    }
    // Non-blocking, in case a pipe took the file's place since the test.
    Descriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        ec.assign(errno, std::generic_category());
        return std::nullopt;
    }
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(
        static_cast<std::uint64_t>(st.st_size), limit)));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            ec.assign(errno, std::generic_category());
            return std::nullopt;
        }
        // A file that grows while it is read is held to the limit all the same.
        if (bytes.size() + static_cast<std::size_t>(n) > limit) {
            ec.assign(EFBIG, std::generic_category());
            return std::nullopt;
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    return bytes;
}

std::optional<std::string> readRegularFile(const std::string& path, std::error_code& ec,
                                           std::size_t limit) {
    return readRegularFileAt(AT_FDCWD, path, ec, limit);
}

std::string readFileStartAt(int folder, const std::string& name, std::size_t count) {
    Descriptor fd(
        ::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
    std::string bytes(count, '\0');
    std::size_t got = 0;
    while (got < count) {
        ssize_t n = ::read(fd.get(), bytes.data() + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

std::string sizeLimitText(std::size_t limit) {
    if (limit % (1 << 20) == 0) return std::to_string(limit >> 20) + " MiB";
    if (limit % (1 << 10) == 0) return std::to_string(limit >> 10) + " KiB";
    return std::to_string(limit) + " bytes";
}

bool pathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
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
