#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "listing/FolderListing.h"

namespace tabulo {

// The totals of the folders a walk entered, by their paths. A run measures its tree into one
// before its pages; a watch keeps one from run to run, so that a batch writing a changed
// folder alone finds there the totals of the subfolders that did not change.
// Safe to use from many threads at once.
class TreeTotals {
  public:
    std::optional<FolderTotals> find(const std::string& folder) const;
    void set(const std::string& folder, const FolderTotals& totals);
    // Forgets every folder below `folder`, which is about to be measured again.
    void forgetBelow(const std::string& folder);
    // Forgets the folders below `folder` that lie in none of its subfolders `names`: those
    // that went.
    void keepOnly(const std::string& folder, std::vector<std::string> names);
    std::size_t size() const;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, FolderTotals> totals_;
};

}  // namespace tabulo
