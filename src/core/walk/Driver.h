#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/Host.h"
#include "host/StatusSink.h"
#include "run/IndexRun.h"
#include "run/RunSettings.h"
#include "search/SearchIndex.h"

namespace tabulo {

// What a run reaches outside itself, all from the thread that runs it.
struct RunHooks {
    StatusSink& sink;
    Host& host;                          // questions
    std::function<void()> letEventsRun;  // once per folder level
    NeededIconList& icons;
    IndexRun& state;
    int jobs = 1;  // threads that read folders and render pages
    // The answer every question gets, when it is known before the run: pages need not then
    // wait for their turn to be written.
    std::optional<Answer> standingAnswer = std::nullopt;
    // Pages done, of the folders found so far.
    std::function<void(int done, int found)> progress = nullptr;
    // True ends the walk before the next folder; the pages written so far stay.
    std::function<bool()> stopRequested = nullptr;
    // Bytes of file content read for checksums so far.
    std::function<void(std::uint64_t bytes)> hashed = nullptr;
    // Once the pages are done, write again the pages of the folders (within the selected one)
    // whose rows show a folder that the run wrote into after they were read, so that every
    // page shows the times the folders have at the end.
    bool settle = false;
    // The names of the search index kept from run to run (a watch); none: the run keeps its own.
    SearchNames* searchNames = nullptr;
};

// A folder a run writes pages for: its own page and, when `recursive`, those of the folders
// below it. `folder` is open, and was checked to lie in the tree when it was opened.
struct WalkTarget {
    std::string path;
    SharedFolder folder;
    bool recursive = true;
};

// The pages of one index run: the selected folder's and, when recursion is on, those of every
// folder below it, depth first, each folder's page before its subfolders' (after them on modern
// pages, which show their subfolders' totals; the top folder's last, except in the all-in-one
// file). With the search index on, it is written last, from every name the pages list. Folders
// are read and pages rendered on `jobs` threads;
// status lines, questions and the order of everything written are those of one thread. Every
// folder is opened from its parent's descriptor, never through a link that leads out of the
// tree, and everything is written relative to the folder it lands in.
class PageWalk {
  public:
    PageWalk(const RunSettings& settings, RunHooks hooks);
    ~PageWalk();  // stops and joins the threads before anything they use goes

    // False when the top folder's page failed: the run ends there.
    bool writePages();
    // The pages of these folders, in this order (the caller puts deeper folders first); false
    // when one of them failed or the run was stopped.
    bool writePages(const std::vector<WalkTarget>& targets);
    // Closes the all-in-one file with its footer; it replaces the old one only now.
    void finishAllInOne();
    // The title of the last page written, which the window keeps showing.
    const std::string& lastTitle() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tabulo
