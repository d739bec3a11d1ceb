#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>

#include "common/Encoding.h"
#include "listing/FolderListing.h"
#include "listing/Wildcard.h"
#include "options/Options.h"
#include "run/TreeTotals.h"

namespace tabulo {

class PageState;
class NewsRecord;

// Everything a run reads, fixed when it starts: a snapshot of the options, the places of the
// site, the date, and what follows from them once. Shared read-only by every thread of a run.
struct RunSettings {
    RunSettings(OptionValues options, std::string top, std::tm today);

    OptionValues o;
    std::tm today{};
    std::string top;           // the selected folder
    std::string siteRoot;      // the root of names and anchors: the www root, else `top`
    std::string outputFolder;  // of the all-in-one modes
    // The folder of the site's root that holds the local icons; empty when the run keeps none
    // there. Tabulo's own output, like its pages: no row leads there and the walk skips it.
    std::string iconFolder;
    int rootDepth = 0;         // depth of the www root
    // Nothing is written outside `tree` (resolved; `treeId` is that folder); `realTop` is the
    // resolved selected folder.
    std::string tree, realTop;
    FolderId treeId;
    // The selected folder and the output folder of the all-in-one modes, opened when the run
    // began and checked to lie in the tree: every page is written relative to these, or to a
    // folder the walk opened from them.
    SharedFolder topFolder, outputFolderFd;

    bool recursive = false, allInOneFile = false, allInOneFolder = false, allInOne = false;
    bool modern = false;  // the modern page style: UTF-8 pages, no character references
    // A file's name may hold "/" (the rest of a bucket's key that is no path of folders): in
    // its link that "/" is no path step.
    bool slashesInNames = false;
    // With the checksum column, whether SHA256SUMS is written beside each page and linked: not
    // where only the MD5s are known (a bucket's ETags).
    bool sha256Sums = true;
    Unmappable pagePolicy = Unmappable::HtmlReference;
    // The checksum column: digests from this cache, bytes read counted here.
    bool hashes = false;
    HashCache* hashCache = nullptr;
    std::atomic<std::uint64_t>* bytesHashed = nullptr;
    // The totals of folders kept from run to run by a watch; none: the run keeps its own.
    TreeTotals* treeTotals = nullptr;
    // What earlier runs wrote into each folder: a folder whose files would come out the same
    // is passed over. None in the all-in-one modes.
    PageState* pageState = nullptr;
    // What the pages listed before, for the "what's new" page and feed; none when they are off.
    NewsRecord* news = nullptr;
    Wildcard filter;
    std::string footer;      // the lines that close a page, UTF-8
    // Modern pages in their own folders load their script from its file in the top folder:
    // what closes such a page, before and after the element that loads it; empty when no
    // page does (classic pages, the all-in-one modes).
    std::string footerBeforeScript, footerAfterScript;
    std::string modernStyle;  // the style element of modern pages, the same in each
    std::string styleRules;  // for pages that embed them

    ListingRules listingRules() const;
};

// Whether the run looks up the sizes and times of the files its pages list.
bool FileDetailsNeeded(const RunSettings& settings);

// The depth of the www root (written text); without one, of `folder`.
int WwwRootDepth(const OptionValues& options, const std::string& folder);

// Where one page stands, as it is written.
struct PagePlace {
    std::string folder;
    int depth = 0;
    std::string title;         // display form (UTF-8)
    std::string upPrefix;      // back to the www root
    std::string relativePath;  // bytes as on disk, "/" separated, ends with "/" unless empty
};
PagePlace PlaceOf(const RunSettings& settings, const std::string& folder);

// The folder of `siteRoot` that holds the local icons (the first folder of their address), when
// the options keep icons there; else empty.
std::string IconFolderOf(const OptionValues& options, const std::string& siteRoot);

// Whether the page of `place` leaves out the row of its subfolder `name`. Classic pages leave
// out the upload folder and the first folder of the local icons wherever they are; modern
// pages only where the upload script stores files (beside it) and where the icons are kept.
bool IsHiddenFolderRow(const RunSettings& settings, const PagePlace& place,
                       const FolderListing& listing, std::string_view name);

// A path without the site's root, as names and anchors take it.
std::string WithoutSiteRoot(const RunSettings& settings, const std::string& path);

}  // namespace tabulo
