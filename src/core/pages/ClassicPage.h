#pragma once

#include <ctime>
#include <string>

#include "common/TextOut.h"
#include "listing/FolderListing.h"
#include "options/Options.h"
#include "pages/PageParts.h"
#include "run/RunSettings.h"

namespace tabulo {

// The classic page style: HTML 3.2 in windows-1252, a list or a table of rows with icons.

// The head of a page, down to the header code: for an all-in-one file, once.
void RenderClassicHead(const RunSettings& settings, const PagePlace& place, TextOut& out);
// The page (or all-in-one section) of one folder; see RenderPage.
PageResult RenderClassicPage(const RunSettings& settings, const PagePlace& place,
                             const FolderListing& listing, bool withHead,
                             double serverTotalBefore, TextOut& out);
// What closes every classic page of a run: upload form, footer code, about line, badges.
std::string ClassicFooter(const OptionValues& options, const std::tm& today, bool withSha256Sums = true);

}  // namespace tabulo
