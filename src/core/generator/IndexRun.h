#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/TextFile.h"

namespace tabulo {

// The state one index run shares between the driver and the writers.
struct IndexRun {
    bool replaceCancelled = false;
    bool allInOneHeadWritten = false;
    int rootDepth = 0;
    double serverTotal = 0;
    std::string startFolder;
    std::string topFolder;  // the selected folder
    std::string siteRoot;   // the root of names and anchors: the www root, else the selected folder
    // Nothing is written outside `tree`: the resolved selected folder, or the resolved www root
    // when that holds it. `realTop` is the resolved selected folder.
    std::string tree;
    std::string realTop;
    // Folders entered through a link: resolved path -> the link's path, so that no folder is
    // walked twice.
    std::unordered_map<std::string, std::string> linkedFolders;
    bool outputSwept = false;  // the all-in-one output folder was cleaned of stale temporaries
    // The page or stylesheet being written; the all-in-one page stays open across sections.
    TextFile* outputFile = nullptr;
};

// Icon names the pages need, in insertion order, without duplicates (case-sensitive).
class NeededIconList {
  public:
    void add(const std::string& name);
    const std::vector<std::string>& names() const { return names_; }

  private:
    std::vector<std::string> names_;
    std::unordered_set<std::string> known_;  // asked once per listed file
};

}  // namespace tabulo
