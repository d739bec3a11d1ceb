#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "listing/FolderListing.h"
#include "run/RunSettings.h"

namespace tabulo {

struct JsonEntry {
    std::string_view name;  // raw bytes, as the file system gives them
    bool folder;
    std::int64_t mtime;  // seconds since 1970, UTC
    double size;         // bytes; folders have none
    // What a folder's tree holds, when known: after the keys of nginx's layout, which its
    // readers look for alone.
    std::optional<FolderTotals> totals = std::nullopt;
};

// The entries of one folder as a JSON array in the layout of nginx's autoindex, one entry a
// line, in the given order. Names are escaped so the text is also safe inside HTML; bytes that
// are not valid UTF-8 become U+FFFD. Sizes are whole bytes, held within 0 .. 2^64-1.
std::string JsonListing(const std::vector<JsonEntry>& entries);

// A JSON string of raw name bytes, escaped as JsonListing escapes names.
void AppendJsonString(std::string& out, std::string_view bytes);
std::string JsonString(std::string_view bytes);

// "Mon, 07 Dec 2026 00:50:22 GMT", the same in every locale. Times before the year 1 or after
// 9999 are held at the first or last second of that range.
std::string Rfc1123Date(std::int64_t unixTime);

// The JSON listing of a page: its rows in the order the page shows them.
std::string JsonListingOf(const RunSettings& settings, const PagePlace& place,
                          const FolderListing& listing);

}  // namespace tabulo
