#include "common/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "common/Text.h"

namespace tabulo {

namespace {

constexpr std::size_t kFlushAt = 64 * 1024;

[[noreturn]] void fail(int err, const std::string& what) {
    throw std::system_error(err, std::generic_category(), what);
}

std::string tempPathBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    auto slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    // Hidden and short, so listings skip it and it fits wherever the final name fits.
    return folder + ".tabulo-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
           ".tmp";
}

}  // namespace

TextFile::TextFile(std::string path, Mode mode, Unmappable policy)
    : path_(std::move(path)), mode_(mode), policy_(policy) {
    writePath_ = path_;
    if (mode_ == Mode::Replace) {
        // A new name is written in place; an existing file only ever by a rename.
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ >= 0) return;
        if (errno != EEXIST) fail(errno, path_);
        writePath_ = tempPathBeside(path_);
        fd_ = ::open(writePath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } else {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
    if (fd_ < 0) fail(errno, path_);
}

TextFile::~TextFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && mode_ == Mode::Replace) ::unlink(writePath_.c_str());
}

void TextFile::write(std::string_view utf8) {
    appendCp1252(buffer_, utf8, policy_);
    if (buffer_.size() >= kFlushAt) flush();
}

void TextFile::writeLine(std::string_view utf8) {
    write(utf8);
    buffer_ += "\r\n";
}

void TextFile::writeMultiline(std::string_view utf8) {
    write(crlfLineBreaks(utf8));
}

void TextFile::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno, path_);
        }
        done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
}

void TextFile::commit() {
    flush();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail(errno, path_);
    if (writePath_ != path_ && ::rename(writePath_.c_str(), path_.c_str()) != 0) {
        fail(errno, path_);
    }
    committed_ = true;
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
