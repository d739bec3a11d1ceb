#include "generator/Driver.h"

#include <optional>
#include <system_error>
#include <vector>

#include "Engine.h"
#include "common/Encoding.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "generator/DirectoryPage.h"
#include "generator/FolderListing.h"
#include "generator/ListingHelpers.h"
#include "generator/PageFooter.h"
#include "generator/Wildcard.h"

namespace tabulo {

namespace {

std::string reason(const std::system_error& e) {
    return e.code().message();
}

using Reach = FolderEntry::Reach;

// Whether a resolved folder inside the selected one is walked under its own path anyway:
// every folder below is, except hidden ones and what lies below them.
bool walkedUnderOwnPath(const std::string& real, const std::string& realTop) {
    if (!isInside(real, realTop)) return false;
    for (const std::string& part : split(std::string_view(real).substr(realTop.size()), '/')) {
        if (part.starts_with('.')) return false;
    }
    return true;
}

class Walk {
  public:
    explicit Walk(Engine& engine) : engine_(engine), o_(engine.options()) {}

    FolderListing read(const std::string& folder) {
        FolderListing listing = readFolder(
            folder, Wildcard(o_.text(opt("txtFilter"))),
            {o_.text(opt("txtIndexHtm")), o_.text(opt("txtCapDesc")), o_.text(opt("txtCapSnap"))});
        classifyLinks(folder, listing);
        return listing;
    }

    // Pages of every folder below `folder`, depth first, each page before its subfolders.
    // Only the subfolder names of `listing` are used; `ancestors` holds the folders above.
    void indexSubfolders(const std::string& folder, const std::vector<FolderEntry>& subfolders,
                         std::vector<FolderId>& ancestors) {
        if (engine_.run().startFolder.empty()) engine_.run().startFolder = folder;
        for (const FolderEntry& sub : subfolders) {
            std::string path = joinPath(folder, sub.name);
            FolderId id{sub.device, sub.inode};
            Reach reach = isAncestor(id, ancestors) ? Reach::LeadsBack : sub.reach;
            if (reach != Reach::Walk) {
                engine_.setStatus("Skipping `" + toUtf8(path) + "`: " + whyNotEntered(reach));
                continue;
            }
            FolderListing listing;
            try {
                listing = read(path);
            } catch (const std::system_error& e) {
                engine_.setStatus("Error reading folder `" + toUtf8(path) + "`: " + reason(e) +
                                  "; skipped.");
                continue;
            }
            engine_.setCurrentFolder(path);
            try {
                WriteDirectoryPage(engine_, listing);
            } catch (const std::system_error& e) {
                engine_.setStatus("Error writing index for `" + toUtf8(path) + "`: " + reason(e) +
                                  ".");
            }
            listing.files.clear();
            listing.files.shrink_to_fit();
            ancestors.push_back(id);
            indexSubfolders(path, listing.folders, ancestors);
            ancestors.pop_back();
            // Back up by the path we came down, never through ".." of a linked folder.
            engine_.setCurrentFolder(folder);
        }
        engine_.letEventsRun();
    }

  private:
    static bool isAncestor(const FolderId& id, const std::vector<FolderId>& ancestors) {
        for (const FolderId& a : ancestors) {
            if (a == id) return true;
        }
        return false;
    }

    static std::string whyNotEntered(Reach reach) {
        switch (reach) {
            case Reach::LeadsBack:
                return "it leads back to a folder above it.";
            case Reach::Outside:
                return "it leads outside the folder being indexed.";
            default:
                return "the folder it leads to is indexed under another path.";
        }
    }

    // A linked subfolder is entered only when it leads inside the tree, to a folder that no
    // other path of this run walks; otherwise pages would land outside the site, or one folder
    // would get two pages with up links from different places.
    void classifyLinks(const std::string& folder, FolderListing& listing) {
        IndexRun& run = engine_.run();
        bool recursive = o_.on(opt("chkReqrsive"));
        std::optional<std::string> realHere;
        for (FolderEntry& sub : listing.folders) {
            if (!sub.link) continue;
            std::string path = joinPath(folder, sub.name);
            auto real = realPath(path);
            if (!realHere) realHere = realPath(folder).value_or(folder);
            if (!real || !isInside(*real, run.tree)) {
                sub.reach = Reach::Outside;
            } else if (isInside(*realHere, *real)) {
                sub.reach = Reach::LeadsBack;
            } else if (recursive && walkedUnderOwnPath(*real, run.realTop)) {
                sub.reach = Reach::Elsewhere;
            } else if (recursive) {
                auto [it, fresh] = run.linkedFolders.emplace(*real, path);
                if (!fresh && it->second != path) sub.reach = Reach::Elsewhere;
            }
        }
    }

    Engine& engine_;
    const Options& o_;
};

bool writeTopPage(Engine& engine, Walk& walk) {
    const std::string folder = engine.currentFolder();
    try {
        WriteDirectoryPage(engine, walk.read(folder));
        return true;
    } catch (const std::system_error& e) {
        engine.setStatus("Error writing index for `" + toUtf8(folder) + "`: " + reason(e) + ".");
        return false;
    }
}

// The footer closes the run's all-in-one page, which then replaces the old one at once. The
// output folder is never empty here, so this is the folder the footer step would choose.
void appendAllInOneFooter(Engine& engine) {
    auto& file = engine.allInOneFile();
    // No section was written in this run: a footer alone would only spoil the existing page.
    if (!file) return;
    try {
        engine.run().outputFile = file.get();
        WritePageFooter(engine);
        engine.run().outputFile = nullptr;
        file->commit();
    } catch (const std::system_error& e) {
        engine.run().outputFile = nullptr;
        engine.setStatus("Error writing index `" + toUtf8(file->path()) + "`: " + reason(e) + ".");
    }
    file.reset();
}

}  // namespace

// The depth of the www root itself: the depth text is only set by a lock, and choosing an
// all-in-one mode sets the www root without one, which would leave every up link wrong.
int WwwRootDepth(Engine& engine) {
    std::string wwwRoot = normalFolder(engine.options().text(opt("txtWWWroot")));
    return CountPathSeparators(wwwRoot.empty() ? engine.currentFolder() : wwwRoot);
}

void RunIndex(Engine& engine) {
    Options& o = engine.options();
    IndexRun& run = engine.run();
    run.replaceCancelled = false;
    run.allInOneHeadWritten = false;
    run.serverTotal = 0;
    run.outputSwept = false;
    run.linkedFolders.clear();
    engine.allInOneFile().reset();
    if (o.on(opt("chkIconsDownloaded"))) {
        engine.AddNeededIcon("dir");
        engine.AddNeededIcon("unknown");
    }
    const std::string top = engine.currentFolder();
    run.rootDepth = WwwRootDepth(engine);
    run.startFolder.clear();
    run.topFolder = top;
    const std::string wwwRoot = normalFolder(o.text(opt("txtWWWroot")));
    run.siteRoot = wwwRoot.empty() ? top : wwwRoot;

    auto realTop = realPath(top);
    if (!realTop) {
        engine.setStatus("Error reading folder `" + toUtf8(top) +
                         "`: " + std::generic_category().message(errno) + ".");
        return;
    }
    run.realTop = *realTop;
    auto realWww = wwwRoot.empty() ? std::nullopt : realPath(wwwRoot);
    run.tree = realWww && isInside(run.realTop, *realWww) ? *realWww : run.realTop;

    // An empty output folder means the selected one, so nothing lands at the file-system root.
    bool allInOne = o.on(opt("chkAllInOneFile")) || o.on(opt("chkAllInOneFolder"));
    if (allInOne && isBlank(o.text(opt("lblAllInOneFolder"))))
        o.setText(opt("lblAllInOneFolder"), top);

    Walk walk(engine);
    bool topWritten = true;
    if (!o.on(opt("chkReqrsive"))) {
        topWritten = writeTopPage(engine, walk);
    } else {
        bool topFirst = o.selected(opt("optAllInOneFile"));
        if (topFirst) topWritten = writeTopPage(engine, walk);
        if (topWritten) {
            try {
                std::vector<FolderId> ancestors{folderIdOf(top)};
                auto subfolders = walk.read(top).folders;
                walk.indexSubfolders(top, subfolders, ancestors);
            } catch (const std::system_error& e) {
                engine.setStatus("Error reading folder `" + toUtf8(top) + "`: " + reason(e) + ".");
                topWritten = false;
            }
            engine.setCurrentFolder(top);
        }
        if (topWritten && !topFirst) topWritten = writeTopPage(engine, walk);
    }
    if (!topWritten) {
        // The run ends here; a half-built all-in-one page never replaces a good one.
        engine.allInOneFile().reset();
        return;
    }

    if (o.on(opt("chkCss")) && o.selected(opt("optCssNew")) &&
        (CountPathSeparators(top) <= run.rootDepth || o.on(opt("chkAllInOneFolder")) ||
         o.on(opt("chkAllInOneFile")))) {
        engine.cmdWriteCss_Click();
    }
    engine.AddNeededIcon("end_");
    if (o.selected(opt("optIconsLocal")) && o.on(opt("chkIconsDownloaded")) &&
        !contains(o.text(opt("lblWWWroot")), "?")) {
        engine.cmdDlIcons_Click();
    }
    if (o.on(opt("chkAllInOneFile"))) appendAllInOneFooter(engine);
    // Pages are not flushed one by one, which would triple the run's time; once for the run
    // is enough to have them on disk.
    syncFileSystem(run.tree);
    if (o.on(opt("chkView"))) {
        bool inOutputFolder = o.on(opt("chkAllInOneFolder")) || o.on(opt("chkAllInOneFile"));
        std::string folder = inOutputFolder ? o.text(opt("lblAllInOneFolder")) : top;
        engine.host().openInShell(joinPath(folder, o.text(opt("txtIndexHtm"))), folder);
    }
    engine.setStatus("Done");
}

}  // namespace tabulo
