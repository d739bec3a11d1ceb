#pragma once

#include <string>
#include <string_view>

namespace tabulo {

// Simple case folding of UTF-8 text (ASCII, Latin, Greek, Cyrillic, Armenian, fullwidth);
// bytes that are not valid UTF-8 pass through.
std::string foldCase(std::string_view utf8);

char32_t foldChar(char32_t cp);

}  // namespace tabulo
