#pragma once

#include <string>
#include <string_view>

namespace tabulo {

// Simple case folding of UTF-8 text (ASCII, Latin, Greek, Cyrillic, Armenian, fullwidth);
// bytes that are not valid UTF-8 pass through.
std::string foldCase(std::string_view utf8);

char32_t foldChar(char32_t cp);

// foldCase(a) compared with foldCase(b), byte by byte (<0, 0, >0), without building either.
int compareFolded(std::string_view a, std::string_view b);

}  // namespace tabulo
