#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "watch/FolderWatch.h"

namespace tabulo {

class Engine;
class OptionValues;

// Whether a file of this name is one an index run writes itself (page, JSON listing,
// stylesheet, checksum files, flat pages): its events are no changes of the site.
bool IsOwnOutput(const OptionValues& options, std::string_view name);

// What one batch of changes asks of the watch: the whole run again (lost events, a folder left
// unwatched, or `wholeOnly`: the all-in-one modes and runs without recursion), or these
// folders, each once, deeper ones first, so that a folder's page shows the times its
// subfolders have after their own pages were written; the folders above a changed one, up to
// `top`, are in it too, as their rows show its time.
struct WatchBatch {
    bool whole = false;
    std::vector<std::string> folders;
};
// Changes at or below `ownFolder` (where the runs keep their icons) are left out.
WatchBatch PlanBatch(const FolderWatch::Changes& changes, const std::string& top, bool wholeOnly,
                     const std::string& ownFolder = "");

// Indexes `folder` once, then keeps its pages current until `stop` is set: each batch of
// changes is one unattended run over the folders PlanBatch names, found again from the watched
// folder opened at the start (a folder swapped for a link is never entered). The digest cache
// is loaded once and saved at most once a batch. Unchanged pages are not written. Returns the
// exit status: 0 when stopped, 1 when the first run failed.
int WatchAndIndex(Engine& engine, const std::string& folder, FolderWatch& watch,
                  const std::atomic<bool>& stop);

}  // namespace tabulo
