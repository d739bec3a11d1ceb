#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "common/TextOut.h"
#include "listing/FolderListing.h"
#include "pages/PageRenderer.h"
#include "run/RunSettings.h"

namespace tabulo {

// The rows a page lists, in the order it shows them: folders first, each group in the order
// the sort options give (modern pages) or by name (classic pages).
struct PageRows {
    std::vector<const FolderEntry*> folders;
    std::vector<const FileEntry*> files;
};
PageRows VisibleRows(const RunSettings& settings, const PagePlace& place,
                     const FolderListing& listing);

// The modern page style: HTML5 in UTF-8, readable on a phone, light and dark colours from the
// colour slots, a sortable table, a filter box, breadcrumbs and the folder's README, with no
// resource from outside the site and a page that still works with scripts off.
void RenderModernHead(const RunSettings& settings, const PagePlace& place, TextOut& out);
PageResult RenderModernPage(const RunSettings& settings, const PagePlace& place,
                            const FolderListing& listing, bool withHead,
                            double serverTotalBefore, TextOut& out);
// The README a modern page shows below its list: README.md (as Markdown), else README, else
// readme.txt (as plain text), letter case aside; nothing when the folder has none.
const FileEntry* ReadmeOf(const FolderListing& listing);

// What closes every modern page (and the all-in-one file): about line, footer code, script.
std::string ModernFooter(const OptionValues& options, const std::tm& today);

// The JSON listing of a page, or nothing in the all-in-one file.
std::string JsonListingOf(const RunSettings& settings, const PagePlace& place,
                          const FolderListing& listing);
// The JSON file's name beside a page file ("index.html" gives "index.json").
std::string JsonNameFor(const std::string& pageFile);

}  // namespace tabulo
