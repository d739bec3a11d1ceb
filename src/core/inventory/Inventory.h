#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "bucket/BucketListing.h"
#include "common/Descriptor.h"

namespace tabulo {

// An S3 Inventory as the listing of a bucket: its manifest.json and the CSV files it names,
// gzip'd or not, read from a copy of the inventory's folders on this disk, or from the store
// when the manifest is given as "s3://BUCKET/KEY" (with the place's endpoint and credentials).
// A data file whose MD5 is not the manifest's is refused. The rows below the
// place's prefix are sorted by key in runs of at most `runBytes` held at once, spilled to
// unnamed files in `tempFolder` and merged, so memory stays bounded whatever the inventory's
// size; inventories list their rows in no promised order. Rows of older versions and delete
// markers are skipped, and a key listed twice is handed on once. Whatever cannot be read
// throws BucketError, naming the file.
class InventorySource : public ObjectSource {
  public:
    static constexpr std::size_t kRunBytes = 64u << 20;

    InventorySource(std::string manifest, BucketPlace place, std::string tempFolder,
                    std::function<void(const std::string&)> progress = nullptr, std::size_t runBytes = kRunBytes);
    void feed(const std::function<void(BucketObject)>& take) override;
    BucketCounts counts() const override;

    // Rows read, and runs spilled, by the last feed.
    std::size_t rows() const { return rows_; }
    std::size_t spilled() const { return spilled_; }

  private:
    std::string readManifest();
    Descriptor openDataFile(const std::string& key, const std::string& md5, std::string& shown);

    std::string manifest_;
    BucketPlace place_;
    std::string tempFolder_;
    std::function<void(const std::string&)> progress_;
    std::size_t runBytes_;
    std::size_t rows_ = 0, spilled_ = 0;
    std::unique_ptr<S3Client> store_;  // where the manifest and its files are, when not on this disk
};

}  // namespace tabulo
