#pragma once

#include <cstdint>

#include "listing/FolderListing.h"
#include "run/RunSettings.h"

namespace tabulo {

// Prints of what pages are made of, for telling whether a folder's files would come out as they
// were written by an earlier run. Whatever a page shows must go into one of them.

// What every page of a run is made of besides its folder: the options, the places of the site,
// the clock's zone and this very program.
std::uint64_t RunPrint(const RunSettings& settings);

// What the files of one folder are made of: its place, its listing as the page sees it (rows,
// texts, digests, totals) and, where its page shows it, the run's total before it.
std::uint64_t PageInputPrint(const RunSettings& settings, const PagePlace& place,
                             const FolderListing& listing, double serverTotalBefore);

}  // namespace tabulo
