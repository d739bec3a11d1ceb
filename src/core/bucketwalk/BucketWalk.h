#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "bucket/BucketListing.h"
#include "bucket/S3Client.h"
#include "bucketwalk/PageStore.h"
#include "checksums/FileHashes.h"
#include "host/StatusSink.h"
#include "run/RunSettings.h"

namespace tabulo {

// What a run over a bucket did.
struct BucketRunCounts {
    std::size_t written = 0, unchanged = 0, kept = 0, errors = 0;
};

// What a run over a bucket needs besides its settings, source and store.
struct BucketWalkParts {
    BucketPlace place;         // the bucket and the prefix the run writes below
    std::string shippedData;   // the shipped set's folder, for icons the bucket lacks
    // The checksums of an object (its whole key) for the checksum column; nothing when unknown.
    std::function<std::optional<FileDigest>(const std::string& key, const BucketObject& object)> digests;
};

// The top folder's path a run over `place` renders its pages for: "/BUCKET" or
// "/BUCKET/PREFIX", so titles, crumbs and links come out as for a folder of that name.
std::string BucketTopPath(const BucketPlace& place);

// Writes the pages of every folder below the prefix, with the settings' options (their `top`
// from BucketTopPath), as the source hands its objects on: each folder's pages are rendered
// once all of it was seen, so only the folders still open are held. Nothing is put outside
// the prefix. A failure to put one folder's pages is reported and the others go on. With local
// icons, the icons the pages show that the bucket lacks are put from the shipped set, and no
// page is written in their folder. A failure of the source throws BucketError.
BucketRunCounts WriteBucketPages(const RunSettings& s, ObjectSource& source, PageStore& store, StatusSink& sink,
                                 const BucketWalkParts& parts);

}  // namespace tabulo
