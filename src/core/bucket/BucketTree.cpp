#include "bucket/BucketTree.h"

namespace tabulo {

bool IsPlainKeyPart(const std::string& part) {
    return !part.empty() && part != "." && part != "..";
}

std::optional<KeyPlace> PlaceOfKey(const std::string& prefix, const std::string& key) {
    if (!key.starts_with(prefix) || key.size() == prefix.size()) return std::nullopt;
    // Down the folders while each part can be one.
    std::size_t at = prefix.size();
    for (;;) {
        const std::size_t slash = key.find('/', at);
        if (slash == std::string::npos || !IsPlainKeyPart(key.substr(at, slash - at))) break;
        at = slash + 1;
    }
    KeyPlace place{key.substr(prefix.size(), at - prefix.size()), key.substr(at)};
    // A key ending in "/" marks a folder (consoles make them, zero bytes long): no file.
    if (place.name.ends_with('/')) place.name.clear();
    return place;
}

FolderAssembler::FolderAssembler(std::string prefix, Done done)
    : prefix_(std::move(prefix)), done_(std::move(done)) {
    open_.emplace_back("", BucketFolder{});
}

void FolderAssembler::closeTop() {
    auto [path, folder] = std::move(open_.back());
    open_.pop_back();
    done_(path, folder);
}

void FolderAssembler::add(BucketObject object) {
    auto place = PlaceOfKey(prefix_, object.key);
    if (!place) return;
    if (!lastKey_.empty() && object.key < lastKey_)
        throw BucketError("The store listed `" + object.key + "` out of order, after `" + lastKey_ + "`.");
    lastKey_ = object.key;
    while (!place->folder.starts_with(open_.back().first)) closeTop();
    // Open the folders down to the object's, each named in the one above.
    while (open_.back().first.size() < place->folder.size()) {
        const std::string& above = open_.back().first;
        const std::size_t slash = place->folder.find('/', above.size());
        std::string name = place->folder.substr(above.size(), slash - above.size());
        if (!open_.back().second.folders.empty() && open_.back().second.folders.back() == name)
            throw BucketError("The store listed `" + object.key + "` out of order.");
        open_.back().second.folders.push_back(name);
        open_.emplace_back(above + name + "/", BucketFolder{});
    }
    if (place->name.empty()) return;
    object.key = std::move(place->name);
    open_.back().second.files.push_back(std::move(object));
}

void FolderAssembler::finish() {
    while (!open_.empty()) closeTop();
}

}  // namespace tabulo
