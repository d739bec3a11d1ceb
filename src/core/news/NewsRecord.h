#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace tabulo {

// A file the pages list, as a run last saw it, and since when it is as it is.
struct NewsFile {
    std::string name;  // bytes as on disk
    double size = 0;
    std::int64_t mtime = 0;
    std::int64_t seen = 0;  // when it was added or last changed, seconds since 1970
};

// A file that changed lately, with its folder below the top ("" the top itself, "a/b").
struct NewsItem {
    std::string folder;
    NewsFile file;
};

// What the pages of a tree listed at the last run, file by file, so that a run knows what was
// added or changed since, and when: the "what's new" page and its feed. Kept between runs in a
// file outside the tree. Safe to use from many threads at once.
class NewsRecord {
  public:
    // The record of earlier runs in `path`. A missing, damaged or foreign file gives an empty
    // record whose first run takes each file's own time as the time it came.
    static NewsRecord load(const std::string& path);
    // Writes the record when it changed, atomically. Throws std::system_error.
    void save(const std::string& path);

    NewsRecord() = default;
    NewsRecord(NewsRecord&& other) noexcept;
    NewsRecord& operator=(NewsRecord&& other) noexcept;

    // The time the run began: changes found are dated by it.
    void setNow(std::int64_t now) { now_ = now; }
    std::int64_t now() const { return now_; }

    // The listed files of `folder` as this run found them. A new file, or one whose size or
    // time changed, is dated by its own time when that lies after the last run, else by now
    // (a file copied in with an old time is still new here).
    void see(const std::string& folder, std::vector<NewsFile> files);
    // A folder whose listing could not be read keeps what it had, and so does its tree.
    void keepTree(const std::string& folder);
    // A run that reads `folder` and every folder below it: those it does not see went.
    void walksTree(const std::string& folder);
    // A run that reads `folder` alone: of the folders below it, those in none of its
    // subfolders `names` went.
    void keepOnly(const std::string& folder, std::vector<std::string> names);
    // At the end of the run: forgets what went.
    void finish();

    // Files added or changed at `since` or later, newest first (then by path), at most `limit`;
    // `total` is how many there are in all.
    std::vector<NewsItem> since(std::int64_t since, std::size_t limit, std::size_t* total) const;
    // The latest time any listed file was added or changed; 0 when there is none.
    std::int64_t latest() const;
    bool changed() const;

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::vector<NewsFile>> folders_;  // by folder, files by name
    std::int64_t lastRun_ = 0;  // when the run that saved the record began; 0: never
    std::int64_t now_ = 0;
    bool changed_ = false;
    std::set<std::string> seen_, kept_, walked_;
};

// Where the record of the tree at `realTop` is kept, beside the state of its pages.
std::string NewsRecordFile(const std::string& realTop);

}  // namespace tabulo
