#include "app/Watch.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <vector>

#include "Engine.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "generator/FolderWatch.h"
#include "generator/ListingHelpers.h"
#include "generator/ModernPage.h"

namespace tabulo {

namespace {

std::string parentOf(const std::string& folder) {
    auto slash = folder.rfind('/');
    return slash == 0 ? "/" : folder.substr(0, slash);
}

// The files a run writes itself: their events are no changes of the site.
bool ownOutput(const Options& o, std::string_view name) {
    const std::string& page = o.text(opt("txtIndexHtm"));
    return name == page || name == JsonNameFor(page) || name == o.text(opt("txtIndexCss")) ||
           name == "MD5SUMS" || name == "SHA256SUMS" ||
           (!o.text(opt("txtIndexOf")).empty() && name.starts_with(o.text(opt("txtIndexOf"))));
}

}  // namespace

int WatchAndIndex(Engine& engine, const std::string& folder, FolderWatch& watch,
                  const std::atomic<bool>& stop) {
    Options& o = engine.options();
    const std::string top = normalFolder(folder);
    // Single folders are indexed as parts of this tree: same up links, icons and stylesheet.
    const std::string root = normalFolder(o.text(opt("txtWWWroot")));
    if (root.empty() || !isInside(realPath(top).value_or(top), realPath(root).value_or(root)))
        o.setText(opt("txtWWWroot"), top);
    engine.stopRequested = [&stop] { return stop.load(); };
    watch.ignoreWritesOf([&o](std::string_view name) { return ownOutput(o, name); });

    engine.RunUnattended(top, o.on(opt("chkReqrsive")));
    if (engine.statusLine() != "Done" && !stop) return 1;
    const bool whole = o.on(opt("chkAllInOneFile")) || o.on(opt("chkAllInOneFolder"));
    engine.setStatus("Watching `" + toUtf8(top) + "` for changes");

    while (!stop) {
        FolderWatch::Changes changes = watch.wait(std::chrono::seconds(3600));
        if (stop) break;
        if (changes.listings.empty() && !changes.overflow) continue;
        if (changes.overflow || whole) {
            engine.RunUnattended(top, o.on(opt("chkReqrsive")));
            continue;
        }
        // Deepest first, so a folder's page shows the times its subfolders have after theirs.
        std::set<std::string> below(changes.structure.begin(), changes.structure.end());
        std::set<std::string> alone;
        for (const std::string& f : changes.listings) alone.insert(f);
        for (const std::string& f : below) alone.erase(f);
        std::set<std::string> above;
        for (const auto* group : {&alone, &below}) {
            for (const std::string& f : *group) {
                for (std::string p = f; p != top && isInside(p, top) && p != "/";) {
                    p = parentOf(p);
                    if (!below.contains(p) && !alone.contains(p)) above.insert(p);
                }
            }
        }
        std::vector<std::pair<std::string, bool>> runs;
        for (const std::string& f : below) runs.push_back({f, true});
        for (const std::string& f : alone) runs.push_back({f, false});
        for (const std::string& f : above) runs.push_back({f, false});
        std::stable_sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) {
            return CountPathSeparators(a.first) > CountPathSeparators(b.first);
        });
        for (const auto& [f, recursive] : runs) {
            if (stop) break;
            if (!DirExists(f) || !isInside(f, top)) continue;  // gone: its parent shows that
            engine.RunUnattended(f, recursive && o.on(opt("chkReqrsive")));
        }
        if (!stop) engine.setStatus("Watching `" + toUtf8(top) + "` for changes");
    }
    engine.setStatus("Stopped watching `" + toUtf8(top) + "`");
    return 0;
}

}  // namespace tabulo
