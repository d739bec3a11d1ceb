#pragma once

#include <map>
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
    std::vector<std::string> folders;  // the names of the folders below, each once
};

// The folders of the objects below `prefix` ("" or ending in "/"), by their path below it
// ("" the prefix itself, "a/", "a/b/"). Objects whose key ends in "/" mark folders: they are no
// files.
// Objects outside the prefix are left out.
std::map<std::string, BucketFolder> BuildBucketTree(const std::string& prefix,
                                                    const std::vector<BucketObject>& objects);

// Whether a part of a key can be a folder's name in a link: not empty, not "." or "..".
bool IsPlainKeyPart(const std::string& part);

}  // namespace tabulo
