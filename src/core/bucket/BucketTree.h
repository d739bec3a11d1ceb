#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bucket/S3Client.h"

namespace tabulo {

// One "folder" of a bucket: the keys below a prefix up to the next "/".
struct BucketFolder {
    // Files by their names below the folder. A key whose rest cannot be a path of folders
    // (an empty part, "." or "..", as in "a//b" or "../x") is one file whose name keeps its
    // "/": it is shown and linked as the key it is, never taken for a way up.
    std::vector<BucketObject> files;
    std::vector<std::string> folders;  // the names of the folders below, each once, in key order
};

// Where the key of an object lies below `prefix` ("" or ending in "/"): its folder's path below
// the prefix ("" the prefix itself, "a/", "a/b/") and its name there; an empty name for a key
// ending in "/", which marks a folder and is no file. Nothing for a key outside the prefix, or
// the prefix itself.
struct KeyPlace {
    std::string folder, name;
};
std::optional<KeyPlace> PlaceOfKey(const std::string& prefix, const std::string& key);

// Whether a part of a key can be a folder's name in a link: not empty, not "." or "..".
bool IsPlainKeyPart(const std::string& part);

// Builds the folders of a stream of objects given in ascending byte order of their keys, as
// listings and sorted inventories give them, holding only the folders still open: the one
// the last key lies in and those above it. Each folder is handed to `done` once all of it was
// seen, every folder after those below it, the prefix's own last (at finish()). Objects
// outside the prefix are skipped. A key out of order that would reopen a folder already handed
// on throws BucketError.
class FolderAssembler {
  public:
    using Done = std::function<void(const std::string& path, BucketFolder& folder)>;
    FolderAssembler(std::string prefix, Done done);

    void add(BucketObject object);
    void finish();

  private:
    void closeTop();

    std::string prefix_;
    Done done_;
    std::vector<std::pair<std::string, BucketFolder>> open_;  // paths below the prefix, outermost first
    std::string lastKey_;
};

}  // namespace tabulo
