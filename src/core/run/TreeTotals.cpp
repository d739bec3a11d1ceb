#include "run/TreeTotals.h"

#include <algorithm>

namespace tabulo {

namespace {

using Map = std::map<std::string, FolderTotals>;

// The paths below `folder`: they sort after "folder/" and before "folder0", as "0" follows
// "/"; below the root, every path but its own.
std::pair<Map::iterator, Map::iterator> below(Map& totals, const std::string& folder) {
    if (folder == "/") return {totals.upper_bound(folder), totals.end()};
    return {totals.lower_bound(folder + "/"), totals.lower_bound(folder + "0")};
}

}  // namespace

std::optional<FolderTotals> TreeTotals::find(const std::string& folder) const {
    std::lock_guard lock(mutex_);
    auto it = totals_.find(folder);
    if (it == totals_.end()) return std::nullopt;
    return it->second;
}

void TreeTotals::set(const std::string& folder, const FolderTotals& totals) {
    std::lock_guard lock(mutex_);
    totals_[folder] = totals;
}

void TreeTotals::forgetBelow(const std::string& folder) {
    std::lock_guard lock(mutex_);
    auto [first, past] = below(totals_, folder);
    totals_.erase(first, past);
}

void TreeTotals::keepOnly(const std::string& folder, std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    const std::size_t prefix = folder == "/" ? 1 : folder.size() + 1;
    std::lock_guard lock(mutex_);
    auto [it, end] = below(totals_, folder);
    while (it != end) {
        std::string_view rest = std::string_view(it->first).substr(prefix);
        std::string_view name = rest.substr(0, rest.find('/'));
        if (std::binary_search(names.begin(), names.end(), name, std::less<>())) {
            ++it;
        } else {
            it = totals_.erase(it);
        }
    }
}

std::size_t TreeTotals::size() const {
    std::lock_guard lock(mutex_);
    return totals_.size();
}

}  // namespace tabulo
