#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FolderMap.h"
#include "listing/OutputNames.h"

namespace tabulo {

// A site-wide search index written beside the pages: every name of the tree, found by any part
// of it, loaded by a page's script (script files, so it works from file://, a plain web server
// and a bucket) or read by the command line.
//
// Names live in blocks (runs of folders in walk order, each file well under 256 KB, named after
// its first entry so that a change elsewhere leaves it alone). Trigram shards map each
// three-character piece of a folded name to the blocks that hold it. A query reads the shard
// of one of its trigrams and then the blocks it names, first results after two files.

// Lower case without accents, as the index and both readers compare names: "É" is "e".
std::string foldForSearch(std::string_view utf8);

// A name as a folder's page lists it.
struct SearchEntry {
    std::string name;  // bytes as on disk
    bool isFolder = false;
    double size = 0;
    std::int64_t mtime = 0;
};

// The folders of the tree, by their paths relative to the index's root ("" for the root, "/"
// between parts), with the names their pages list. A watch keeps one from run to run and
// changes only the folders it writes.
class SearchNames : public FolderMap<std::vector<SearchEntry>> {};
using SearchTree = SearchNames::Map;

// A name found, with its folder.
struct SearchRecord {
    std::string folder;
    std::string name;
    bool isFolder = false;
    double size = 0;
    std::int64_t mtime = 0;
};

inline constexpr std::string_view kSearchManifest = "manifest.js";
// The first line of every file of the index: only such files are replaced or removed.
inline constexpr std::string_view kSearchMark = "/* Tabulo search index */\n";

// The files of the index for `tree` (each folder's names in any order): name → bytes; the
// manifest keeps `fingerprint`.
// What the manifest tells a page that searches this site beside its own: the name its results
// are labelled with, and how a link to a folder ends there.
struct SearchSite {
    std::string name;
    std::string folderEnding = "/index.html";
};

// Runs task(0) … task(count - 1), on several threads if it can, and returns when all have run.
using ParallelFor = std::function<void(std::size_t count, const std::function<void(std::size_t)>& task)>;
std::map<std::string, std::string> BuildSearchIndex(const SearchTree& tree,
                                                    const std::string& fingerprint = "",
                                                    const SearchSite& site = {},
                                                    const ParallelFor& forEach = {});

// A digest of `tree` as given (order included) and `site`: a run whose names and the index's
// files are as they were has nothing to build.
std::string SearchFingerprint(const SearchTree& tree, const SearchSite& site = {});
// Whether the index read through `read` has a manifest of that fingerprint and every file the
// manifest names is there (`exists`).
bool SearchIndexIsCurrent(const std::function<std::optional<std::string>(const std::string&)>& read,
                          const std::function<bool(const std::string&)>& exists,
                          const std::string& fingerprint);

struct SearchHit {
    SearchRecord record;
    int rank = 0;  // 0: the whole name or a whole word, 1: a word's start, 2: inside a word
};

// Matches of `query` (a part of a name, "*" standing for any run of characters) in the index
// whose files `read` gives (nullopt: missing), best first: whole words, then word starts, then
// the rest, each in walk order. `filesRead` counts the shards and blocks read.
std::vector<SearchHit> SearchIndex(const std::function<std::optional<std::string>(const std::string&)>& read,
                                   std::string_view query, std::size_t* filesRead = nullptr);

}  // namespace tabulo
