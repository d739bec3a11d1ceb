#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "listing/FolderListing.h"
#include "options/Options.h"
#include "run/RunSettings.h"

namespace tabulo {

// What both page styles share: the rows a page shows, where they lead, and how names look.

// What rendering a page found out besides its text.
struct PageResult {
    double total = 0;                // bytes of the files the page lists
    std::vector<std::string> icons;  // icon types the page needs, in order, once each
};

// Whether the page's totals line needs the run's total so far (the www root's page).
bool NeedsServerTotal(const RunSettings& settings, const PagePlace& place);

// A name as a row shows it: cut when the options say so, escaped for the page.
std::string DisplayName(const OptionValues& options, const std::string& rawName);

// Modern pages always escape names fully: a quote or an angle bracket never stands in a link.
bool FullLinks(const OptionValues& options);
// A link made of typed text around a name on disk.
std::string LinkForName(const OptionValues& options, std::string_view typedPrefix,
                        std::string_view namePart, std::string_view typedSuffix);

// What the rows of both page styles lead to.
std::string IconAddress(const RunSettings& settings, const PagePlace& place,
                        const std::string& type);
// Rows linked for a web server (chkServerLinks): a folder as "name/", which the server answers
// with its page, the parent as "../", each link's text the name alone, so that programs that
// read listings (mirroring tools, media players, link checkers) take every row. The all-in-one
// modes keep their own links.
bool ServerLinks(const RunSettings& settings);
// Whether the pages offer a search of the whole site, from the index the run writes.
bool SearchesSite(const RunSettings& settings);
// The name of the run's top folder, as a site's search results and its what's new page are
// labelled with (UTF-8).
std::string SiteName(const RunSettings& settings);
// How a link to a folder ends for its page: "/" for a web server, else "/index.html".
std::string FolderPageEnding(const RunSettings& settings);
// The other sites searched with this one (txtSearchSites): the addresses of their top folders,
// each ending in "/", those given relative to this site's top folder reached through `up`.
// Only web and file addresses: an option never makes a link run script.
std::vector<std::string> OtherSearchSites(const OptionValues& options, const std::string& up);
// A row's link, its text the entry's name alone, in full.
std::string NameAnchor(const std::string& link, const std::string& rawName);
std::optional<std::string> UpRowLink(const RunSettings& settings, const PagePlace& place);
// The files written beside each page that the footer links, so that crawlers find them:
// SHA256SUMS with the checksum column, the JSON listing when it is written; none in the
// all-in-one modes; SHA256SUMS only `withSha256Sums`. Each as its link and its caption.
std::vector<std::pair<std::string, std::string>> FooterFiles(const OptionValues& options,
                                                             bool withSha256Sums = true);
// Those links on one line, `separator` between them; empty when there are none.
std::string FooterFilesLine(const OptionValues& options, std::string_view separator,
                            bool withSha256Sums = true);
std::string FolderRowLink(const RunSettings& settings, const PagePlace& place,
                          const FolderEntry& sub);
std::string FileRowLink(const RunSettings& settings, const PagePlace& place,
                        const FileEntry& file);
// The link to the folder's first checksum file.
std::string SumsLink(const RunSettings& settings, const PagePlace& place);

// The order the options ask for.
enum class SortKey { Type, Name, Date, Size };
SortKey SortKeyOf(const OptionValues& options);

// The rows a page lists, in the order it shows them: folders first, each group in the order
// the sort options give (modern pages) or by name (classic pages).
struct PageRows {
    std::vector<const FolderEntry*> folders;
    std::vector<const FileEntry*> files;
    std::size_t size() const { return folders.size() + files.size(); }
};
PageRows VisibleRows(const RunSettings& settings, const PagePlace& place,
                     const FolderListing& listing);

// The rows of a PageRows by one index, its folders and then its files, in the ascending order
// of each key asked for: folders first, ties by name. A descending order is each group of it
// backwards. Keys not asked for stay empty.
using RowOrder = std::vector<std::uint32_t>;
using RowOrders = std::array<RowOrder, 4>;  // by SortKey
RowOrders OrdersOf(const PageRows& rows, const std::vector<SortKey>& keys);
// VisibleRows, with the orders of `keys` over the rows it gives (modern pages).
PageRows VisibleRows(const RunSettings& settings, const PagePlace& place,
                     const FolderListing& listing, const std::vector<SortKey>& keys,
                     RowOrders& orders);

// The README a modern page shows below its list: README.md (as Markdown), else README, else
// readme.txt (as plain text), letter case aside; nothing when the folder has none.
const FileEntry* ReadmeOf(const FolderListing& listing);

}  // namespace tabulo
