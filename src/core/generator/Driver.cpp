#include "generator/Driver.h"

#include <system_error>
#include <vector>

#include "Engine.h"
#include "common/Encoding.h"
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

class Walk {
  public:
    explicit Walk(Engine& engine) : engine_(engine), o_(engine.options()) {}

    FolderListing read(const std::string& folder) {
        return readFolder(
            folder, Wildcard(o_.text(opt("txtFilter"))),
            {o_.text(opt("txtIndexHtm")), o_.text(opt("txtCapDesc")), o_.text(opt("txtCapSnap"))});
    }

    // Pages of every folder below `folder`, depth first, each page before its subfolders.
    // Only the subfolder names of `listing` are used; `ancestors` holds the folders above.
    void indexSubfolders(const std::string& folder, const std::vector<FolderEntry>& subfolders,
                         std::vector<FolderId>& ancestors) {
        if (engine_.run().startFolder.empty()) engine_.run().startFolder = folder;
        for (const FolderEntry& sub : subfolders) {
            std::string path = joinPath(folder, sub.name);
            FolderId id{sub.device, sub.inode};
            if (isAncestor(id, ancestors)) {
                engine_.setStatus("Skipping `" + toUtf8(path) +
                                  "`: it leads back to a folder above it.");
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
    std::string wwwRoot = engine.options().text(opt("txtWWWroot"));
    while (wwwRoot.size() > 1 && wwwRoot.back() == '/') wwwRoot.pop_back();
    return CountPathSeparators(wwwRoot.empty() ? engine.currentFolder() : wwwRoot);
}

void RunIndex(Engine& engine) {
    Options& o = engine.options();
    IndexRun& run = engine.run();
    run.replaceCancelled = false;
    run.allInOneHeadWritten = false;
    run.serverTotal = 0;
    engine.allInOneFile().reset();
    if (o.on(opt("chkIconsDownloaded"))) {
        engine.AddNeededIcon("dir");
        engine.AddNeededIcon("unknown");
    }
    const std::string top = engine.currentFolder();
    run.rootDepth = WwwRootDepth(engine);
    run.startFolder.clear();
    run.topFolder = top;

    // An empty output folder means the selected one, so nothing lands at the file-system root.
    bool allInOne = o.on(opt("chkAllInOneFile")) || o.on(opt("chkAllInOneFolder"));
    if (allInOne && o.text(opt("lblAllInOneFolder")).empty())
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
    if (o.on(opt("chkView"))) {
        bool inOutputFolder = o.on(opt("chkAllInOneFolder")) || o.on(opt("chkAllInOneFile"));
        std::string folder = inOutputFolder ? o.text(opt("lblAllInOneFolder")) : top;
        engine.host().openInShell(joinPath(folder, o.text(opt("txtIndexHtm"))), folder);
    }
    engine.setStatus("Done");
}

}  // namespace tabulo
