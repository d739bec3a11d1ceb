#pragma once

#include <string_view>

namespace tabulo {

// Orders names the way people expect (<0, 0, >0): runs of ASCII digits compare by their value
// ("file2" before "file10"), letters without regard to case. Names equal that way go by fewer
// leading zeros first ("x1" before "x01"), then byte by byte, so only equal names compare 0.
// A byte that is not part of valid UTF-8 counts as its windows-1252 character.
int compareNatural(std::string_view a, std::string_view b);

}  // namespace tabulo
