#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/Base64.h"
#include "listing/FolderListing.h"
#include "options/Options.h"
#include "pages/PageParts.h"
#include "run/RunSettings.h"

namespace tabulo {

// A modern page holds at most a budget of rows; the rest of the listing goes on in numbered
// pages, for readers without scripts, and in data files that the page's script loads, so it
// sorts and filters every row whatever the folder's size.

inline constexpr std::size_t kDefaultRowBudget = 1000;
inline constexpr std::size_t kRowsPerDataFile = 20000;

// The rows a page holds (txtRowBudget): a whole number from 1 up; anything else is the default.
std::size_t RowBudgetOf(const OptionValues& options);

// A modern page's rows in the order it starts in, the orders of its other sortable columns,
// and how they split into numbered pages and data files.
struct ListingPlan {
    PageRows rows;  // in the order the page starts in
    SortKey key = SortKey::Name;
    bool descending = false;
    // The columns the page sorts by besides its starting one, each with its order of `rows`
    // (ascending, folders first).
    std::vector<SortKey> keys;
    RowOrders orders;
    std::size_t budget = 0;  // rows a page holds; all of them in the all-in-one modes
    // The same orders page by page: for each page, its rows' positions among its own rows,
    // at the page's first row.
    RowOrders pageOrders;

    std::size_t pages() const;                     // the page and its numbered pages: 1 and up
    std::size_t dataFiles() const;                 // none when the page holds every row
    std::size_t firstRow(std::size_t page) const;  // pages count from 1
    std::size_t rowsOn(std::size_t page) const;
};
ListingPlan PlanListing(const RunSettings& settings, const PagePlace& place,
                        const FolderListing& listing);

// What the script reads from the table of page `page` (a JSON object): the order the page
// starts in and the other orders of its own rows; for a long listing also where the data files
// are and how a row is drawn from them.
std::string ListingConfig(const RunSettings& settings, const PagePlace& place,
                          const ListingPlan& plan, std::size_t page);

// Data file `number` (from 1): a script handing its rows to the page,
//   tabuloRows(number, "packed", [size bytes, type bytes], [types], "names", {row: "link"},
//              [files of each folder row, or null])
// The names are one JSON string, also safe in HTML (invalid UTF-8 shown as U+FFFD), each name
// after a "/"; everything else is whole numbers packed into one base64 string; a row whose link
// cannot be made from its name carries it.
std::string ListingDataFile(const RunSettings& settings, const PagePlace& place,
                            const FolderListing& listing, const ListingPlan& plan,
                            std::size_t number);

// The pieces of the packing. Bytes that hold any index below `count` (1 to 4).
int IndexWidth(std::size_t count);
// Each value in `width` bytes, least significant first, byte plane after byte plane (all first
// bytes, then all second bytes...), so the mostly equal high bytes compress well.
void AppendPlanes(std::string& out, const std::vector<std::uint64_t>& values, int width);
// A time as its local wall clock reads it, in minutes since 1970, as the page shows times;
// held within the range of 32 bits.
std::int32_t LocalMinutes(std::int64_t unixTime);

}  // namespace tabulo
