#include "checksums/FileHashes.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>

#include "common/Descriptor.h"
#include "common/Paths.h"
#include "common/ReadFile.h"
#include "common/TextFile.h"

namespace tabulo {

namespace {

constexpr std::size_t kBlock = 1 << 20;
// A file this recent may still change within its time stamp's granularity (whole seconds, or
// two, on some file systems): its digest is not remembered.
constexpr std::int64_t kSettledNs = std::int64_t{kSettledSeconds} * 1'000'000'000;
constexpr char kHex[] = "0123456789abcdef";

std::atomic<std::uint64_t> contentReads{0};

struct FreeContext {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, FreeContext>;

// Fetched once: an implicit fetch on every file would take a lock shared by all workers.
const EVP_MD* md5Method() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "MD5", nullptr);
    return md;
}
const EVP_MD* sha256Method() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md;
}

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

template <std::size_t N>
std::string toHex(const unsigned char (&bytes)[N], unsigned length) {
    std::string out;
    for (unsigned i = 0; i < length && i < N; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

template <std::size_t N>
std::string toHex(const std::array<unsigned char, N>& bytes) {
    std::string out;
    for (unsigned char b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

// Exactly 2*N lower-case hex digits.
template <std::size_t N>
bool fromHex(std::string_view text, std::array<unsigned char, N>& out) {
    if (text.size() != 2 * N) return false;
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (std::size_t i = 0; i < N; ++i) {
        int hi = digit(text[2 * i]), lo = digit(text[2 * i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i] = static_cast<unsigned char>(hi << 4 | lo);
    }
    return true;
}

template <typename T>
bool fromDecimal(std::string_view text, T& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// HashFileAt, also telling what the opened file's metadata were before it was read.
}  // namespace

struct DigestStream::Contexts {
    DigestContext md5{EVP_MD_CTX_new()}, sha256{EVP_MD_CTX_new()};
};

DigestStream::DigestStream() : contexts_(std::make_unique<Contexts>()) {
    failed_ = !contexts_->md5 || !contexts_->sha256 || !md5Method() || !sha256Method() ||
              EVP_DigestInit_ex(contexts_->md5.get(), md5Method(), nullptr) != 1 ||
              EVP_DigestInit_ex(contexts_->sha256.get(), sha256Method(), nullptr) != 1;
}

DigestStream::~DigestStream() = default;

void DigestStream::add(const void* bytes, std::size_t size) {
    if (failed_) return;
    failed_ = EVP_DigestUpdate(contexts_->md5.get(), bytes, size) != 1 ||
              EVP_DigestUpdate(contexts_->sha256.get(), bytes, size) != 1;
}

std::optional<FileDigest> DigestStream::finish() {
    unsigned char md5Bytes[EVP_MAX_MD_SIZE], shaBytes[EVP_MAX_MD_SIZE];
    unsigned md5Length = 0, shaLength = 0;
    if (failed_ || EVP_DigestFinal_ex(contexts_->md5.get(), md5Bytes, &md5Length) != 1 || md5Length != 16 ||
        EVP_DigestFinal_ex(contexts_->sha256.get(), shaBytes, &shaLength) != 1 || shaLength != 32) {
        return std::nullopt;
    }
    return FileDigest{toHex(md5Bytes, md5Length), toHex(shaBytes, shaLength)};
}

namespace {

std::optional<FileDigest> hashFile(int folder, const std::string& name,
                                   const std::function<void(std::uint64_t)>& progress,
                                   struct stat& before) {
    // Metadata first: a pipe or device is never opened.
    if (::fstatat(folder, name.c_str(), &before, 0) != 0 || !S_ISREG(before.st_mode))
        return std::nullopt;
    // Non-blocking all the same, in case a pipe took the file's place since.
    Descriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &before) != 0 || !S_ISREG(before.st_mode)) {
        return std::nullopt;
    }
    int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return std::nullopt;
    contentReads.fetch_add(1, std::memory_order_relaxed);
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    DigestStream digest;
    // A small file gets a small buffer: most files of a site are.
    auto blockSize = static_cast<std::size_t>(
        std::min<std::uint64_t>(kBlock, static_cast<std::uint64_t>(before.st_size) + 1));
    auto block = std::make_unique_for_overwrite<unsigned char[]>(blockSize);
    std::uint64_t total = 0;
    // Past the size it had, a file that keeps growing (a log) is given up, not followed.
    while (total <= static_cast<std::uint64_t>(before.st_size)) {
        ssize_t n = ::read(fd.get(), block.get(), blockSize);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        auto got = static_cast<std::size_t>(n);
        digest.add(block.get(), got);
        total += got;
        if (progress) progress(got);
    }
    // A file written to meanwhile has no single digest.
    struct stat after;
    if (::fstat(fd.get(), &after) != 0 || after.st_size != before.st_size ||
        total != static_cast<std::uint64_t>(before.st_size) ||
        nanoseconds(after.st_mtim) != nanoseconds(before.st_mtim) ||
        nanoseconds(after.st_ctim) != nanoseconds(before.st_ctim)) {
        return std::nullopt;
    }
    return digest.finish();
}

std::string cacheFile() {
    return applicationFolder() + "/hash-cache";
}

std::int64_t daysSince1970() {
    return static_cast<std::int64_t>(std::time(nullptr)) / 86400;
}

}  // namespace

std::optional<FileDigest> HashFile(const std::string& path,
                                   const std::function<void(std::uint64_t)>& progress) {
    return HashFileAt(AT_FDCWD, path, progress);
}

std::optional<FileDigest> HashFileAt(int folder, const std::string& name,
                                     const std::function<void(std::uint64_t)>& progress) {
    struct stat before;
    return hashFile(folder, name, progress, before);
}

std::uint64_t FileContentReads() {
    return contentReads.load(std::memory_order_relaxed);
}

std::size_t HashCache::KeyHash::operator()(const Key& k) const {
    std::uint64_t h = k.ino * 0x9e3779b97f4a7c15ULL;
    h ^= (k.dev + (h << 6) + (h >> 2)) * 0xff51afd7ed558ccdULL;
    h ^= (k.size + (h << 6) + (h >> 2)) * 0xc4ceb9fe1a85ec53ULL;
    h ^= static_cast<std::uint64_t>(k.mtimeNs) + (h << 6) + (h >> 2);
    return static_cast<std::size_t>(h);
}

HashCache::HashCache(std::size_t maxEntries, std::function<std::int64_t()> today)
    : maxEntries_(maxEntries), today_(today ? std::move(today) : daysSince1970) {
    // Read when a checksum is first looked up: a run that finds every folder as it left it
    // needs none. A file too large to read is said now.
    struct stat st;
    if (::stat(cacheFile().c_str(), &st) == 0 && st.st_size > static_cast<off_t>(kMaxFileBytes))
        loadOnce();
}

void HashCache::loadOnce() {
    if (loaded_) return;
    loaded_ = true;
    load();
}

void HashCache::load() {
    std::error_code ec;
    auto text = readRegularFile(cacheFile(), ec, kMaxFileBytes);
    if (ec == std::errc::file_too_large) {
        loadNote_ = "Skipping the checksum cache `" + cacheFile() + "`: it is larger than " +
                    sizeLimitText(kMaxFileBytes) + ".";
        dirty_ = true;  // saved anew, within bounds
    }
    if (!text) return;
    const std::int64_t now = today_();
    std::string_view rest = *text;
    // Room for every line at once: the table is not built again and again as it fills.
    entries_.reserve(std::min<std::size_t>(maxEntries_, static_cast<std::size_t>(
                                                             std::count(rest.begin(), rest.end(), '\n'))));
    std::uint64_t line = 0;
    // Only whole lines count: one cut short never passes for an entry.
    for (std::size_t end; (end = rest.find('\n')) != std::string_view::npos;
         rest.remove_prefix(end + 1)) {
        if (entries_.size() >= maxEntries_) {
            dirty_ = true;  // more than may be kept: the next save trims it
            break;
        }
        std::string_view fields[7];
        std::string_view left = rest.substr(0, end);
        std::size_t count = 0;
        for (; count < 7 && !left.empty(); ++count) {
            std::size_t blank = left.find(' ');
            fields[count] = left.substr(0, blank);
            left = blank == std::string_view::npos ? std::string_view() : left.substr(blank + 1);
        }
        Key key{};
        // Lines of older caches have no day: they count as used on the day they are loaded.
        Entry entry{{}, {}, line++, false, now};
        if (count < 6 || !left.empty() || !fromDecimal(fields[0], key.dev) ||
            !fromDecimal(fields[1], key.ino) || !fromDecimal(fields[2], key.size) ||
            !fromDecimal(fields[3], key.mtimeNs) || !fromHex(fields[4], entry.md5) ||
            !fromHex(fields[5], entry.sha256) ||
            (count == 7 && !fromDecimal(fields[6], entry.day))) {
            continue;
        }
        if (entry.day < now - kKeepDays) dirty_ = true;  // stale: the next save drops it
        entries_.try_emplace(key, entry);
    }
}

std::optional<FileDigest> HashCache::digestOf(
    int folder, const std::string& name, const std::function<void(std::uint64_t)>& progress) {
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    Key key{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size), nanoseconds(st.st_mtim)};
    const std::int64_t now = today_();
    {
        std::lock_guard lock(mutex_);
        loadOnce();
        if (auto it = entries_.find(key); it != entries_.end()) {
            it->second.used = true;
            it->second.order = ++uses_;
            if (it->second.day != now) {
                it->second.day = now;
                dirty_ = true;
            }
            return FileDigest{toHex(it->second.md5), toHex(it->second.sha256)};
        }
    }
    struct stat opened;
    auto digest = hashFile(folder, name, progress, opened);
    if (!digest) return std::nullopt;
    struct timespec clock;
    ::clock_gettime(CLOCK_REALTIME, &clock);
    // Only when the file read is the one looked up, and old enough to stay as it is.
    if (opened.st_dev == st.st_dev && opened.st_ino == st.st_ino && opened.st_size == st.st_size &&
        nanoseconds(opened.st_mtim) == key.mtimeNs && key.mtimeNs < nanoseconds(clock) - kSettledNs) {
        Entry entry{{}, {}, 0, true, now};
        fromHex(digest->md5, entry.md5);
        fromHex(digest->sha256, entry.sha256);
        std::lock_guard lock(mutex_);
        entry.order = ++uses_;
        entries_.insert_or_assign(key, entry);
        dirty_ = true;
    }
    return digest;
}

void HashCache::save() {
    std::lock_guard lock(mutex_);
    if (!dirty_) return;
    using Item = std::pair<const Key, Entry>;
    const std::int64_t oldest = today_() - kKeepDays;
    std::vector<const Item*> order;
    order.reserve(entries_.size());
    for (const Item& item : entries_) {
        if (item.second.day >= oldest) order.push_back(&item);
    }
    // The latest used first, then the older ones in the order they were loaded.
    auto keep = std::min(order.size(), maxEntries_);
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end(),
                      [](const Item* a, const Item* b) {
                          if (a->second.used != b->second.used) return a->second.used;
                          return a->second.used ? a->second.order > b->second.order
                                                : a->second.order < b->second.order;
                      });
    std::filesystem::create_directories(applicationFolder());
    TextFile file(cacheFile(), Unmappable::KeepUtf8);
    file.writeRaw("# tabulo hash cache: device inode size mtime-ns md5 sha256 last-used-day\n");
    std::string line;
    for (std::size_t i = 0; i < keep; ++i) {
        const auto& [key, entry] = *order[i];
        line = std::to_string(key.dev) + ' ' + std::to_string(key.ino) + ' ' +
               std::to_string(key.size) + ' ' + std::to_string(key.mtimeNs) + ' ' +
               toHex(entry.md5) + ' ' + toHex(entry.sha256) + ' ' + std::to_string(entry.day) +
               '\n';
        file.writeRaw(line);
    }
    file.commit();
    // What was dropped is gone from memory too, so the next save starts from the same set.
    std::unordered_map<Key, Entry, KeyHash> kept;
    kept.reserve(keep);
    for (std::size_t i = 0; i < keep; ++i) kept.insert(*order[i]);
    entries_ = std::move(kept);
    dirty_ = false;
}

std::size_t HashCache::size() {
    std::lock_guard lock(mutex_);
    loadOnce();
    return entries_.size();
}

std::string SumsFileText(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string out;
    for (const auto& [name, hex] : entries) {
        if (name.find_first_of("\\\n\r") != std::string::npos) out += '\\';
        out += hex;
        out += "  ";
        if (name.starts_with('-')) out += "./";
        for (char c : name) {
            if (c == '\\') {
                out += "\\\\";
            } else if (c == '\n') {
                out += "\\n";
            } else if (c == '\r') {
                out += "\\r";
            } else {
                out += c;
            }
        }
        out += '\n';
    }
    return out;
}

}  // namespace tabulo
