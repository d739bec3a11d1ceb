#include "bucket/BucketListing.h"

#include <algorithm>

namespace tabulo {

ListingSource::ListingSource(const BucketPlace& place, std::function<void(const std::string&)> progress)
    : place_(place), progress_(std::move(progress)) {}

BucketCounts ListingSource::counts() const {
    return counts_;
}

void ListingSource::feed(const std::function<void(BucketObject)>& take) {
    S3Client client(place_);
    std::vector<BucketObject> objects;
    std::optional<std::string> next;
    do {
        BucketListPage page = client.list(place_.prefix, "", next);
        for (BucketObject& o : page.objects) objects.push_back(std::move(o));
        next = std::move(page.next);
        counts_ = client.counts();
        if (next && progress_) progress_("Listed " + std::to_string(objects.size()) + " objects so far");
    } while (next);
    // Not every store lists in byte order (s3rver gives a folder's keys before a name that
    // sorts before it): the folders are made from sorted keys.
    std::sort(objects.begin(), objects.end(), [](const auto& a, const auto& b) { return a.key < b.key; });
    for (BucketObject& o : objects) take(std::move(o));
}

}  // namespace tabulo
