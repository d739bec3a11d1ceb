#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tabulo {

// A folder's description text as the lines a page shows: comma-delimited fields, one per line.
// A field ends at a comma or the line end, blanks before it are skipped, a quoted field keeps
// its commas and loses its quotes; blank lines stay as empty lines.
std::vector<std::string> DescriptionLines(std::string_view text);

}  // namespace tabulo
