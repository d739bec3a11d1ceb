#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "common/TextOut.h"
#include "listing/FolderListing.h"
#include "listing/OutputNames.h"
#include "options/Options.h"
#include "pages/ListingData.h"
#include "pages/PageParts.h"
#include "run/RunSettings.h"

namespace tabulo {

// A folder's page in the style the run's options choose.

// The page (or all-in-one section) of one folder: head (when `withHead`), anchor, heading,
// picture, description, listing, totals, and the footer unless it is a section of the
// all-in-one file. `serverTotalBefore` is the run's total before this page; only the www
// root's totals line uses it. Reads nothing but the listing (which holds the folder's own
// texts); safe on any thread.
PageResult RenderPage(const RunSettings& settings, const PagePlace& place,
                      const FolderListing& listing, bool withHead, double serverTotalBefore,
                      TextOut& out);

// A folder's page with the files that go with it: a modern page longer than the row budget
// goes on in numbered pages and data files for its script (never in the all-in-one modes).
// Renders on any thread; holds references to its arguments.
class PageFiles {
  public:
    PageFiles(const RunSettings& settings, const PagePlace& place, const FolderListing& listing);

    // The page itself, as RenderPage writes it.
    PageResult render(bool withHead, double serverTotalBefore, TextOut& out) const;
    // The files beside it, numbered pages first, by name.
    std::size_t extraCount() const;
    std::string extraName(std::size_t i) const;
    ExtraFile extraKind(std::size_t i) const;
    void renderExtra(std::size_t i, TextOut& out) const;

  private:
    const RunSettings& s_;
    const PagePlace& place_;
    const FolderListing& listing_;
    std::optional<ListingPlan> plan_;  // modern pages
};

// Whether a folder's page may go on in numbered pages: cheap, before anything is sorted.
bool MayHaveNumberedPages(const RunSettings& settings, const PagePlace& place,
                          const FolderListing& listing);

// The head of a page, down to the header code: for an all-in-one file, once.
void RenderHead(const RunSettings& settings, const PagePlace& place, TextOut& out);

// What closes every page of a run, and the style rules of pages that embed them: fixed when
// the run starts, kept in its settings.
void SetPageEnds(RunSettings& settings);

}  // namespace tabulo
