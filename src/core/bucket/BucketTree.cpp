#include "bucket/BucketTree.h"

#include <algorithm>

namespace tabulo {

bool IsPlainKeyPart(const std::string& part) {
    return !part.empty() && part != "." && part != "..";
}

std::map<std::string, BucketFolder> BuildBucketTree(const std::string& prefix,
                                                    const std::vector<BucketObject>& objects) {
    std::map<std::string, BucketFolder> tree;
    tree[""];
    auto addFolder = [&tree](const std::string& parent, const std::string& name) {
        auto& names = tree[parent].folders;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        tree[parent + name + "/"];
    };
    for (const BucketObject& object : objects) {
        if (!object.key.starts_with(prefix) || object.key.size() == prefix.size()) continue;
        const std::string rest = object.key.substr(prefix.size());
        // Down the folders while each part can be one.
        std::string folder;
        std::size_t at = 0;
        for (;;) {
            const std::size_t slash = rest.find('/', at);
            if (slash == std::string::npos) break;
            const std::string part = rest.substr(at, slash - at);
            if (!IsPlainKeyPart(part)) break;
            addFolder(folder, part);
            folder += part + "/";
            at = slash + 1;
        }
        const std::string name = rest.substr(at);
        // A key ending in "/" marks a folder (consoles make them, zero bytes long): no file.
        if (name.empty() || name.ends_with('/')) continue;
        BucketObject file = object;
        file.key = name;
        tree[folder].files.push_back(std::move(file));
    }
    return tree;
}

}  // namespace tabulo
