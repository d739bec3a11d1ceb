#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo {

// What a run wrote into each folder, kept for the next run over the same tree, so that a folder
// whose page would come out the same needs its listing only: its page is neither made nor read
// back. Per folder: a print of everything its files are made of, a print of those files as they
// stand on disk (inode, size, times), and what the run counts of the page.
//
// Trust is earned twice: a folder is passed over only when both prints match, so a state file
// that is missing, damaged, written for another tree or by another build only costs time.
class PageState {
  public:
    struct Page {
        std::uint64_t input = 0;   // all the folder's files are made of
        std::uint64_t output = 0;  // those files on disk: see OutputPrint
        double total = 0;          // bytes its page lists
        std::vector<std::string> icons;
        // With the checksum column: the files print of its listing, and its checksum files
        // on disk; while both stand, the checksums are those of the last run.
        std::uint64_t files = 0, sums = 0;
        bool operator==(const Page&) const = default;
    };

    // Loads the state in `file` when it was written for `runPrint` (the tree, the options, the
    // program); anything else is an empty state.
    PageState(std::string file, std::uint64_t runPrint);
    ~PageState();
    PageState(const PageState&) = delete;
    PageState& operator=(const PageState&) = delete;

    // The page kept for the folder `key` when it was made of `input`. Any thread.
    std::optional<Page> find(std::uint64_t key, std::uint64_t input) const;
    // The page kept for the folder `key`, whatever it was made of. Any thread.
    std::optional<Page> find(std::uint64_t key) const;
    // A page the run wrote (or found written, byte for byte). Any thread.
    void keep(std::uint64_t key, Page page);

    // Writes the file whole or not at all, and only when anything changed. After a walk of the
    // whole tree (`whole`), folders the run did not see are dropped. Throws std::system_error.
    void save(bool whole);

  private:
    struct Record;
    Record record(std::size_t i) const;
    std::optional<std::size_t> indexOf(std::uint64_t key) const;
    std::vector<std::string> iconsOf(const Record& r) const;
    Page pageOf(const Record& r) const;

    std::string file_;
    std::uint64_t runPrint_;
    // The file as loaded, read-only: its records sorted by key, then the icon lists.
    const unsigned char* map_ = nullptr;
    std::size_t mapSize_ = 0, count_ = 0;
    std::string_view blob_;
    // Which loaded records the run came across: the others are gone from the tree.
    std::unique_ptr<std::atomic<std::uint64_t>[]> seen_;
    std::mutex mutex_;
    std::vector<std::pair<std::uint64_t, Page>> kept_;
};

// The state file of the tree whose resolved top folder is `realTop`, in the application folder.
std::string PageStateFile(const std::string& realTop);

// The files `names` of the open folder `folder` as they stand: a file rewritten, touched,
// replaced or removed since gives another print.
std::uint64_t OutputPrint(int folder, const std::vector<std::string>& names);

}  // namespace tabulo
