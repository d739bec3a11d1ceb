#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "bucket/S3Client.h"
#include "checksums/FileHashes.h"

namespace tabulo {

// The checksums of a bucket's objects. An object put in one part has its MD5 as its ETag; one
// put in parts is read, streamed, and its digests are kept in a file from run to run, keyed by
// endpoint, bucket, key, size and ETag, so an unchanged object is never read again.
class BucketDigests {
  public:
    static constexpr std::size_t kMaxEntries = 1'000'000;

    // Loads `file` ("" keeps nothing); a missing or damaged file is no error.
    explicit BucketDigests(std::string file);

    // The MD5 of `object`, whose whole key is `key` (and its SHA-256 when it was read); nothing
    // when it could not be read.
    std::optional<FileDigest> digestOf(S3Client& client, const std::string& key, const BucketObject& object);

    // Writes the file whole or not at all when anything was added; the entries of this run
    // first, up to kMaxEntries. Failures throw std::system_error.
    void save();

    std::uint64_t reads() const { return reads_; }

  private:
    struct Entry {
        FileDigest digest;
        bool used = false;
    };
    std::string keyOf(const BucketPlace& place, const std::string& key, const BucketObject& object) const;

    std::string file_;
    std::unordered_map<std::string, Entry> entries_;
    bool changed_ = false;
    std::uint64_t reads_ = 0;
};

// Whether an ETag is the MD5 of the object's bytes: 32 hex digits, as a single part gives.
bool IsSinglePartEtag(const std::string& etag);

}  // namespace tabulo
