#pragma once

#include "common/FolderMap.h"
#include "listing/FolderListing.h"

namespace tabulo {

// The totals of the folders a walk entered, by their paths. A run measures its tree into one
// before its pages; a watch keeps one from run to run, so that a batch writing a changed
// folder alone finds there the totals of the subfolders that did not change.
class TreeTotals : public FolderMap<FolderTotals> {};

}  // namespace tabulo
