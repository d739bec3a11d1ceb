#pragma once

#include <cstddef>
#include <string>

#include "bucket/S3Client.h"
#include "host/StatusSink.h"
#include "run/RunSettings.h"

namespace tabulo {

// What a run over a bucket did.
struct BucketRunCounts {
    std::size_t written = 0, unchanged = 0, errors = 0;
};

// The top folder's path a run over `place` renders its pages for: "/BUCKET" or
// "/BUCKET/PREFIX", so titles, crumbs and links come out as for a folder of that name.
std::string BucketTopPath(const BucketPlace& place);

// Writes the pages of every folder of the bucket below the client's prefix, with the settings'
// options (their `top` from BucketTopPath): the objects are listed once, each folder's pages
// rendered, and each put only when its bytes differ from the object there (its MD5 against
// the listing's ETag). Nothing is deleted, and nothing is put outside the prefix. With
// `dryRun`, what would be put is said and nothing is. A failure of one folder is reported and
// the others go on; a failure of the listing ends the run (BucketError). With local icons, the
// icons the pages show that the bucket lacks are put from the shipped set in `shippedData`
// (its "icons" folder), and no page is written in their folder.
BucketRunCounts WriteBucketPages(const RunSettings& s, S3Client& client, StatusSink& sink,
                                 bool dryRun, const std::string& shippedData = "");

}  // namespace tabulo
