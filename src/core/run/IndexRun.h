#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace tabulo {

// What an index run leaves for the next one and for the script writer.
struct IndexRun {
    bool replaceCancelled = false;
    bool allInOneHeadWritten = false;
    int rootDepth = 0;
    double serverTotal = 0;
    std::string startFolder;
    // What the run did, for the summary that ends it.
    int pagesWritten = 0;    // new or changed pages (the all-in-one file counts once)
    int pagesUnchanged = 0;  // pages whose bytes were already there
    int pagesPassedOver = 0;  // of those, found as the last run left them: neither made nor read
    int pagesDeclined = 0;   // pages kept because the answer was No
    int foldersSkipped = 0;  // folders not entered: unreadable, or reached through a link
    // Bytes of file content read for checksums; the threads that hash add to it, and a
    // command line may read it from a thread of its own while one big file takes long.
    std::atomic<std::uint64_t> bytesHashed{0};
    // The top folder's page and the folder it lies in; empty until the run reaches its end.
    std::string topPage, topPageFolder;
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
