#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <utility>

#include "common/TextOut.h"
#include "listing/FolderListing.h"
#include "options/Options.h"
#include "pages/ListingData.h"
#include "pages/PageParts.h"
#include "run/RunSettings.h"

namespace tabulo {

// The modern page style: HTML5 in UTF-8, readable on a phone, light and dark colours from the
// colour slots, a sortable table, a filter box, breadcrumbs and the folder's README, with no
// resource from outside the site and a page that still works with scripts off.
// A listing longer than the row budget goes on in numbered pages (`page` 2 and up of `pages`),
// which hold the crumbs, the heading and their share of the rows.
void RenderModernHead(const RunSettings& settings, const PagePlace& place, TextOut& out,
                      std::size_t page = 1, std::size_t pages = 1);
PageResult RenderModernPage(const RunSettings& settings, const PagePlace& place,
                            const FolderListing& listing, const ListingPlan& plan,
                            std::size_t page, bool withHead, double serverTotalBefore,
                            TextOut& out);

// The colour pairs of the page's text that read below 4.5:1 (WCAG 2, level AA), as chosen for
// light screens and as turned for dark ones, in one line: "Low contrast: link #0000ff on cells
// #aaaaaa (3.7:1; 4.5:1 is needed)."; empty when every pair reads well.
std::string ModernContrastNote(const OptionValues& options);

// The style element of every modern page: colours, font and layout.
std::string ModernStyle(const OptionValues& options);
// What closes every modern page (and the all-in-one file): about line, footer code, script.
std::string ModernFooter(const OptionValues& options, const std::tm& today, bool withSha256Sums = true);
// The same, before and after the element that loads the pages' script from its file.
std::pair<std::string, std::string> ModernFooterAroundScript(const OptionValues& options,
                                                             const std::tm& today,
                                                             bool withSha256Sums = true);
// The pages' script as its file holds it (PageScriptName), first line a mark of ours.
std::string PageScriptFile();
// The way up from the page's folder to the run's top folder: "", "../", "../../", ...;
// nothing for a folder not below it.
std::optional<std::string> WayToTop(const RunSettings& settings, const PagePlace& place);
// The same, when the run writes the "what's new" page and feed there, which pages link.
std::optional<std::string> WhatsNewWay(const RunSettings& settings, const PagePlace& place);
// The script of the whole site's search, which lies in the search index's folder: every page
// loads the one copy.
std::string SearchScriptFile();

}  // namespace tabulo
