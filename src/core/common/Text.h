#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tabulo {

// Every occurrence of `from` in `s` replaced by `to` (an empty `from` changes nothing).
std::string replaceAll(std::string_view s, std::string_view from, std::string_view to);

std::vector<std::string> split(std::string_view s, char sep);

bool contains(std::string_view s, std::string_view part);

// Whether the text holds nothing but blanks and tabs.
bool isBlank(std::string_view s);

// Reads a number the way the classic Val function does: blanks skipped, reading stops at the
// first character that cannot continue a number, no number reads as 0.
double val(std::string_view s);

// Every line break (CR LF, LF or CR alone) as CR LF.
std::string crlfLineBreaks(std::string_view s);

// Lower-cases ASCII letters only.
std::string asciiLower(std::string_view s);

}  // namespace tabulo
