#pragma once

#include <atomic>
#include <string>

namespace tabulo {

class Engine;
class FolderWatch;

// Indexes `folder` once, then keeps its pages current until `stop` is set: each batch of
// changes re-indexes the folders whose listing changed (a folder that gained or lost a
// subfolder together with everything below it), then the folders above them up to `folder`,
// whose rows show their times and totals. Lost events, and the all-in-one modes, index the
// whole tree again. Unchanged pages are not written. Returns the exit status: 0 when stopped,
// 1 when the first run failed.
int WatchAndIndex(Engine& engine, const std::string& folder, FolderWatch& watch,
                  const std::atomic<bool>& stop);

}  // namespace tabulo
