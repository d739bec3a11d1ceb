#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabulo {

// Something kept for each folder a walk entered, by the folder's path ("/" or "" for the root
// of the paths used), so that a run writing one folder alone can drop what went below it.
// Safe to use from many threads at once.
template <typename Value>
class FolderMap {
  public:
    using Map = std::map<std::string, Value>;

    std::optional<Value> find(const std::string& folder) const {
        std::lock_guard lock(mutex_);
        auto it = map_.find(folder);
        if (it == map_.end()) return std::nullopt;
        return it->second;
    }
    void set(const std::string& folder, Value value) {
        std::lock_guard lock(mutex_);
        map_[folder] = std::move(value);
    }
    // Forgets every folder below `folder`, which is about to be read again.
    void forgetBelow(const std::string& folder) {
        std::lock_guard lock(mutex_);
        auto [first, past] = below(folder);
        map_.erase(first, past);
    }
    // Forgets the folders below `folder` that lie in none of its subfolders `names`: those
    // that went.
    void keepOnly(const std::string& folder, std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        const std::size_t prefix = isRoot(folder) ? folder.size() : folder.size() + 1;
        std::lock_guard lock(mutex_);
        auto [it, end] = below(folder);
        while (it != end) {
            std::string_view rest = std::string_view(it->first).substr(prefix);
            std::string_view name = rest.substr(0, rest.find('/'));
            if (std::binary_search(names.begin(), names.end(), name, std::less<>())) {
                ++it;
            } else {
                it = map_.erase(it);
            }
        }
    }
    void clear() {
        std::lock_guard lock(mutex_);
        map_.clear();
    }
    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return map_.size();
    }
    // Reads every folder's value, in the order of their paths, while nothing changes them.
    template <typename Reader>
    auto read(Reader&& reader) const {
        std::lock_guard lock(mutex_);
        return reader(static_cast<const Map&>(map_));
    }

  private:
    static bool isRoot(const std::string& folder) { return folder.empty() || folder == "/"; }
    // The paths below `folder`: they sort after "folder/" and before "folder0", as "0" follows
    // "/"; below the root, every path but its own.
    std::pair<typename Map::iterator, typename Map::iterator> below(const std::string& folder) {
        if (isRoot(folder)) return {map_.upper_bound(folder), map_.end()};
        return {map_.lower_bound(folder + "/"), map_.lower_bound(folder + "0")};
    }

    mutable std::mutex mutex_;
    Map map_;
};

}  // namespace tabulo
