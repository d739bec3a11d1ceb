#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tabulo {

// A file's checksums in lower-case hex, 32 and 64 digits.
struct FileDigest {
    std::string md5, sha256;
    bool operator==(const FileDigest&) const = default;
};

// MD5 and SHA-256 of bytes given piece by piece.
class DigestStream {
  public:
    DigestStream();
    ~DigestStream();
    DigestStream(const DigestStream&) = delete;
    DigestStream& operator=(const DigestStream&) = delete;
    void add(const void* bytes, std::size_t size);
    // Nothing when the digests could not be made.
    std::optional<FileDigest> finish();

  private:
    struct Contexts;
    std::unique_ptr<Contexts> contexts_;
    bool failed_ = false;
};

// MD5 and SHA-256 of an ordinary file (links followed, as a web server does), read once in
// blocks of 1 MiB. `progress` hears the byte count of each block as it is read. Nothing when
// the path is no ordinary file (such a path is never read, so a pipe never blocks), when it
// cannot be read, or when it changed while it was read.
std::optional<FileDigest> HashFile(const std::string& path,
                                   const std::function<void(std::uint64_t bytes)>& progress = {});
// The same for the file `name` of the open folder `folder`.
std::optional<FileDigest> HashFileAt(int folder, const std::string& name,
                                     const std::function<void(std::uint64_t bytes)>& progress = {});

// A file changed this lately may change again within the same tick of its clock without its
// time showing it: its checksum is not trusted to stand for it.
inline constexpr int kSettledSeconds = 3;

// How many files this process opened to read their content for HashFile.
std::uint64_t FileContentReads();

// Digests kept from run to run in the application folder's "hash-cache", keyed by a file's
// device, inode, size and modification time, so an unchanged file is never read again. Each
// entry remembers the day it was last used: entries unused for `kKeepDays` are dropped when the
// cache is saved, and at most `maxEntries` are kept, so the file stays bounded.
// Safe to use from many threads at once.
class HashCache {
  public:
    static constexpr std::size_t kMaxEntries = 1'000'000;
    static constexpr std::size_t kMaxFileBytes = 256u << 20;  // well above kMaxEntries' lines
    static constexpr int kKeepDays = 60;

    // Loads the cache file; a missing or damaged one is no error, a damaged line is skipped, a
    // file above kMaxFileBytes is not read (see loadNote()). `today` tells the days since 1970
    // (the clock's, unless a test gives its own).
    explicit HashCache(std::size_t maxEntries = kMaxEntries,
                       std::function<std::int64_t()> today = nullptr);

    // The digest of the ordinary file `name` of the open folder `folder`: from the cache when
    // its metadata match, else read (see HashFile) and remembered. A file changed within the
    // last few seconds is hashed but not remembered: a change in the same tick of the clock
    // would keep its time.
    std::optional<FileDigest> digestOf(int folder, const std::string& name,
                                       const std::function<void(std::uint64_t)>& progress = {});

    // Writes the cache file whole or not at all, when anything changed since it was loaded or
    // saved: the entries used since the load first, then older ones, without those unused
    // for kKeepDays, up to `maxEntries` in all. Failures throw std::system_error.
    void save();

    std::size_t size();  // reads the file first, when it was not read yet
    // Why the cache file was not read, for the status line; empty when it was (or is missing,
    // or not read yet: it is read when first needed).
    const std::string& loadNote() const { return loadNote_; }

  private:
    struct Key {
        std::uint64_t dev, ino, size;
        std::int64_t mtimeNs;
        bool operator==(const Key&) const = default;
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const;
    };
    struct Entry {
        std::array<unsigned char, 16> md5;
        std::array<unsigned char, 32> sha256;
        // Used since the load: the order of the last use; else: the line it was loaded from.
        std::uint64_t order;
        bool used;
        std::int64_t day;  // of the last use
    };

    void load();
    void loadOnce();  // with mutex_ held

    mutable std::mutex mutex_;
    std::unordered_map<Key, Entry, KeyHash> entries_;
    std::uint64_t uses_ = 0;
    std::size_t maxEntries_;
    std::function<std::int64_t()> today_;
    bool dirty_ = false;  // something to save
    bool loaded_ = false;
    std::string loadNote_;
};

// A checksum file as `md5sum -c` and `sha256sum -c` read it: "HEX  NAME" a line, LF line
// ends. A name holding a backslash, line feed or carriage return is written escaped, its line
// marked with a leading backslash, as those programs write it; a name starting with "-" is
// written "./-…", so "-" is never read as standard input. Names are raw bytes.
std::string SumsFileText(const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace tabulo
