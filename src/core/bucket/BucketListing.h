#pragma once

#include <functional>
#include <string>

#include "bucket/S3Client.h"

namespace tabulo {

// Where a run over a bucket takes its objects from: each object below the place's prefix
// once, in ascending byte order of the keys.
class ObjectSource {
  public:
    virtual ~ObjectSource() = default;
    // Hands each object to `take`; what cannot be read throws BucketError.
    virtual void feed(const std::function<void(BucketObject)>& take) = 0;
    // The requests made so far.
    virtual BucketCounts counts() const = 0;
};

// The store's own listing (ListObjectsV2): one flat listing of the whole prefix, page by page,
// which takes the fewest requests (a listing of each folder apart takes one more for each, and
// stores' delimited listings are not all to be trusted: s3rver leaves out folders that hold
// only folders). The keys are held until the listing ends, and sorted.
class ListingSource : public ObjectSource {
  public:
    ListingSource(const BucketPlace& place, std::function<void(const std::string&)> progress);
    void feed(const std::function<void(BucketObject)>& take) override;
    BucketCounts counts() const override;

  private:
    BucketPlace place_;
    std::function<void(const std::string&)> progress_;
    BucketCounts counts_;
};

}  // namespace tabulo
