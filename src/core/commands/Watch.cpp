#include "commands/Watch.h"

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>

#include "engine/Engine.h"
#include "common/Descriptor.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "checksums/FileHashes.h"
#include "listing/ListingHelpers.h"
#include "listing/OutputNames.h"
#include "run/RunSettings.h"
#include "run/TreeTotals.h"
#include "search/SearchIndex.h"

namespace tabulo {

namespace {

std::string parentOf(const std::string& folder) {
    auto slash = folder.rfind('/');
    return slash == 0 ? "/" : folder.substr(0, slash);
}

}  // namespace

bool IsOwnOutput(const OptionValues& o, std::string_view name) {
    const std::string& page = o.text(opt("txtIndexHtm"));
    const std::string& flat = o.text(opt("txtIndexOf"));
    return name == page || name == JsonNameFor(page) || name == o.text(opt("txtIndexCss")) ||
           name == kMd5SumsName || name == kSha256SumsName ||
           ExtraFileKind(page, name) != ExtraFile::None ||
           (!flat.empty() && name.starts_with(flat));
}

WatchBatch PlanBatch(const FolderWatch::Changes& changes, const std::string& top, bool wholeOnly,
                     const std::string& ownFolder) {
    WatchBatch batch;
    if (changes.listings.empty() && !changes.overflow && !changes.incomplete) return batch;
    // Lost events leave it open what changed; a folder left unwatched hides what is below it;
    // the all-in-one page shows every folder at once, and a run without recursion writes the
    // top page alone.
    if (changes.overflow || changes.incomplete || wholeOnly) {
        batch.whole = true;
        return batch;
    }
    // A new or renamed folder comes with every folder below it, so each is written alone.
    std::set<std::string> folders;
    for (const std::string& f : changes.listings) {
        if (!isInside(f, top)) continue;
        // The icons the runs store there are theirs: no page goes there.
        if (!ownFolder.empty() && isInside(f, ownFolder)) continue;
        folders.insert(f);
        for (std::string p = f; p != top && p != "/";) {
            p = parentOf(p);
            folders.insert(p);
        }
    }
    batch.folders.assign(folders.begin(), folders.end());
    std::stable_sort(batch.folders.begin(), batch.folders.end(),
                     [](const std::string& a, const std::string& b) {
                         return CountPathSeparators(a) > CountPathSeparators(b);
                     });
    return batch;
}

int WatchAndIndex(Engine& engine, const std::string& folder, FolderWatch& watch,
                  const std::atomic<bool>& stop) {
    Options& o = engine.options();
    const std::string top = normalFolder(folder);
    // Single folders are indexed as parts of this tree: same up links, icons and stylesheet.
    const std::string root = normalFolder(o.text(opt("txtWWWroot")));
    if (root.empty() || !isInside(realPath(top).value_or(top), realPath(root).value_or(root)))
        o.setText(opt("txtWWWroot"), top);
    engine.stopRequested = [&stop] { return stop.load(); };
    const std::string icons = IconFolderOf(o, normalFolder(o.text(opt("txtWWWroot"))));
    watch.ignoreWritesOf([&o](std::string_view name) { return IsOwnOutput(o, name); });

    // The watched folder, opened once: every run finds its folders again from here.
    Descriptor pinned(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!pinned) {
        engine.error("Error reading folder `" + toUtf8(top) + "`: " +
                     std::generic_category().message(errno) + ".");
        return 1;
    }
    std::optional<HashCache> cache;
    if (o.on(opt("chkColuHash"))) cache.emplace();
    // Modern pages show what the tree below each folder row holds: a batch finds there the
    // totals of the folders it does not write.
    TreeTotals totals;
    const bool recursive = o.on(opt("chkReqrsive"));
    // A whole run writes parents before their subfolders: it settles the pages that show a
    // folder written into afterwards.
    // A run without recursion measures the subfolders of its one page anew each time.
    // The search index holds the whole tree's names: a batch changes those of its folders.
    SearchNames searchNames;
    const UnattendedRun whole{top, recursive, {}, &pinned, cache ? &*cache : nullptr, true,
                              recursive ? &totals : nullptr, recursive ? &searchNames : nullptr};
    engine.RunUnattended(whole);
    if (engine.statusLine() != "Done" && !stop) return 1;
    const bool allInOne = o.on(opt("chkAllInOneFile")) || o.on(opt("chkAllInOneFolder"));
    engine.setStatus("Watching `" + toUtf8(top) + "` for changes");

    while (!stop) {
        FolderWatch::Changes changes = watch.wait(std::chrono::seconds(3600));
        if (stop) break;
        WatchBatch batch = PlanBatch(changes, top, allInOne || !recursive, icons);
        if (batch.whole) {
            engine.RunUnattended(whole);
        } else if (!batch.folders.empty()) {
            UnattendedRun some{top, false, {}, &pinned, cache ? &*cache : nullptr, false, &totals,
                               &searchNames};
            for (const std::string& f : batch.folders) some.only.emplace_back(f, false);
            engine.RunUnattended(some);
        } else {
            continue;
        }
        if (!stop) engine.setStatus("Watching `" + toUtf8(top) + "` for changes");
    }
    engine.setStatus("Stopped watching `" + toUtf8(top) + "`");
    return 0;
}

}  // namespace tabulo
