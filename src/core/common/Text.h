#pragma once

#include <optional>
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
// The text without the bytes of `blanks` around it.
std::string_view trimBlanks(std::string_view s, std::string_view blanks = " ");

// Reads a number the way the classic Val function does: blanks skipped, reading stops at the
// first character that cannot continue a number, no number reads as 0. A number too large for
// a double reads as an infinity, one too small as 0. The same in every locale.
double val(std::string_view s);

// The whole text as a decimal number ("12", "-1.5", "+2e3"), or nothing: no blanks, no
// hexadecimal, infinity or NaN, nothing beyond a double's range. The same in every locale.
std::optional<double> decimalNumber(std::string_view s);

// The shortest "%g" form (C locale) that reads back as the same value: "12", "12.5", "1e+30".
std::string shortestText(double value);
std::string shortestText(float value);
// The value with a fixed number of decimals (C locale), like "%.*f".
std::string fixedText(double value, int decimals);

// The whole part of `value` (toward zero), held within [low, high]; NaN gives `low`. A floating
// value outside an integer type's range must never reach a cast, so every such conversion
// goes through here.
template <typename Int>
Int wholeWithin(double value, Int low, Int high) {
    if (!(value > static_cast<double>(low))) return low;
    if (!(value < static_cast<double>(high))) return high;
    return static_cast<Int>(value);
}

// Every line break (CR LF, LF or CR alone) as CR LF.
std::string crlfLineBreaks(std::string_view s);

// Lower-cases ASCII letters only.
std::string asciiLower(std::string_view s);

}  // namespace tabulo
