#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tabulo {

// The files Tabulo writes beside a page, which pages and watches must know by name.
inline constexpr const char* kMd5SumsName = "MD5SUMS";
inline constexpr const char* kSha256SumsName = "SHA256SUMS";

// The site-wide search index's folder, in the folder a run indexes: a dot-name, so no page
// lists it and no walk enters it.
inline constexpr std::string_view kSearchFolder = ".tabulo-search";
// The search's script in it, which every page loads.
inline constexpr std::string_view kSearchScriptName = "search.js";

// The JSON file's name beside a page file ("index.html" gives "index.json").
std::string JsonNameFor(const std::string& pageFile);

// A listing longer than the row budget goes on in numbered pages after the first
// ("index.html", "index-2.html", "index-3.html", ...) and, for the page's script, in data
// files ("index.rows-1.js", ...).
std::string NumberedPageName(const std::string& pageFile, std::size_t number);
std::string ListingDataName(const std::string& pageFile, std::size_t number);

// The script of modern pages, written once into the folder a run indexes and loaded by every
// page below it ("index.html" gives "index.page.js"): the same bytes in every page would
// make a small folder's page ten times as large.
std::string PageScriptName(const std::string& pageFile);

// The "what's new" page and its Atom feed, in the folder a run indexes.
inline constexpr std::string_view kWhatsNewName = "whatsnew.html";
inline constexpr std::string_view kFeedName = "feed.atom";

// What such a name is: a numbered page (number 2 and up) or a data file (1 and up), written
// without leading zeros, the pages' script, or the "what's new" page or feed; anything else is
// no name of ours.
enum class ExtraFile { None, NumberedPage, ListingData, PageScript, WhatsNew, Feed };
ExtraFile ExtraFileKind(const std::string& pageFile, std::string_view name);

// How the first line of each begins: a file of such a name is ours only when it does, so a
// user's file of that name is never taken for one.
inline constexpr std::string_view kNumberedPageMark = "<!DOCTYPE html><!-- Tabulo: page ";
inline constexpr std::string_view kListingDataMark = "/* Tabulo: listing data ";
inline constexpr std::string_view kPageScriptMark = "/* Tabulo: page script */";
inline constexpr std::string_view kWhatsNewMark = "<!DOCTYPE html><!-- Tabulo: what's new -->";
inline constexpr std::string_view kFeedMark =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><!-- Tabulo: feed -->";
std::string_view ExtraFileMark(ExtraFile kind);

// Whether the file `name` in `folder` is one of those beside the page `pageFile` that Tabulo
// wrote: a regular file (no link) whose first line says so.
bool IsOwnExtraFile(int folder, const std::string& pageFile, const std::string& name);
// Whether `folder` holds something under such a name (a link too) that Tabulo did not write:
// a user's, which runs leave as it is.
bool IsUsersExtraFile(int folder, const std::string& pageFile, const std::string& name);

}  // namespace tabulo
