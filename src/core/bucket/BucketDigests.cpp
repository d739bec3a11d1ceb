#include "bucket/BucketDigests.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "common/PercentEncoding.h"
#include "common/ReadFile.h"
#include "common/TextFile.h"

namespace tabulo {

namespace {

constexpr const char* kHeader = "# tabulo bucket hash cache: md5 sha256 then endpoint bucket size etag key, encoded\n";

bool isHex(const std::string& text, std::size_t length) {
    if (text.size() != length) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::string field(const std::string& text) {
    return percentEncode(text, kUnreservedBytes);
}

}  // namespace

bool IsSinglePartEtag(const std::string& etag) {
    return isHex(etag, 32);
}

BucketDigests::BucketDigests(std::string file) : file_(std::move(file)) {
    if (file_.empty()) return;
    std::error_code ec;
    auto text = readRegularFile(file_, ec, std::size_t{256} << 20);
    if (!text || !text->starts_with(kHeader)) return;
    std::istringstream lines(text->substr(std::string(kHeader).size()));
    std::string line;
    while (std::getline(lines, line) && entries_.size() < kMaxEntries) {
        const std::size_t blank = line.find(' '), second = line.find(' ', blank + 1);
        if (second == std::string::npos) continue;
        FileDigest digest{line.substr(0, blank), line.substr(blank + 1, second - blank - 1)};
        if (!isHex(digest.md5, 32) || !isHex(digest.sha256, 64)) continue;
        entries_.try_emplace(line.substr(second + 1), Entry{digest, false});
    }
}

std::string BucketDigests::keyOf(const BucketPlace& place, const std::string& key, const BucketObject& object) const {
    return field(place.endpoint) + ' ' + field(place.bucket) + ' ' + std::to_string(static_cast<std::uint64_t>(object.size)) +
           ' ' + field(object.etag) + ' ' + field(key);
}

std::optional<FileDigest> BucketDigests::digestOf(S3Client& client, const std::string& key, const BucketObject& object) {
    if (IsSinglePartEtag(object.etag)) return FileDigest{object.etag, ""};
    const std::string cacheKey = keyOf(client.place(), key, object);
    if (auto it = entries_.find(cacheKey); it != entries_.end()) {
        it->second.used = true;
        return it->second.digest;
    }
    DigestStream digest;
    std::uint64_t bytes = 0;
    try {
        client.get(key, [&](const char* data, std::size_t size) {
            digest.add(data, size);
            bytes += size;
        });
    } catch (const BucketError&) {
        return std::nullopt;
    }
    ++reads_;
    auto result = digest.finish();
    // Bytes other than the listing's size are another object than the one listed.
    if (!result || bytes != static_cast<std::uint64_t>(object.size)) return std::nullopt;
    entries_.insert_or_assign(cacheKey, Entry{*result, true});
    changed_ = true;
    return result;
}

void BucketDigests::save() {
    if (!changed_ || file_.empty()) return;
    std::vector<const std::pair<const std::string, Entry>*> order;
    for (const auto& item : entries_) order.push_back(&item);
    std::stable_partition(order.begin(), order.end(), [](const auto* item) { return item->second.used; });
    if (order.size() > kMaxEntries) order.resize(kMaxEntries);
    std::filesystem::create_directories(std::filesystem::path(file_).parent_path());
    TextFile file(file_, Unmappable::KeepUtf8);
    file.writeRaw(kHeader);
    for (const auto* item : order)
        file.writeRaw(item->second.digest.md5 + ' ' + item->second.digest.sha256 + ' ' + item->first + '\n');
    file.commit();
    changed_ = false;
}

}  // namespace tabulo
