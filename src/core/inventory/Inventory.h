#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "bucket/BucketListing.h"

namespace tabulo {

// An S3 Inventory as the listing of a bucket: its manifest.json and the CSV files it names,
// gzip'd or not, read from the local copy of the inventory's folders. The rows below the
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
    BucketCounts counts() const override { return {}; }

    // Rows read, and runs spilled, by the last feed.
    std::size_t rows() const { return rows_; }
    std::size_t spilled() const { return spilled_; }

  private:
    std::string manifest_;
    BucketPlace place_;
    std::string tempFolder_;
    std::function<void(const std::string&)> progress_;
    std::size_t runBytes_;
    std::size_t rows_ = 0, spilled_ = 0;
};

}  // namespace tabulo
