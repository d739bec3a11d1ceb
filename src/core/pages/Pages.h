#pragma once

#include <ctime>
#include <string>

#include "common/TextOut.h"
#include "listing/FolderListing.h"
#include "options/Options.h"
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

// The head of a page, down to the header code: for an all-in-one file, once.
void RenderHead(const RunSettings& settings, const PagePlace& place, TextOut& out);

// What closes every page of a run, and the style rules of pages that embed them: fixed when
// the run starts, kept in its settings.
void SetPageEnds(RunSettings& settings);

}  // namespace tabulo
