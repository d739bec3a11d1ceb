#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace tabulo {

// A date as the about lines show it: month-day-year, "12-06-2026".
std::string aboutDate(const std::tm& date);

// The time `t` (seconds since 1970) as strftime's `format` writes it, in the local zone or
// in UTC.
std::string timeText(std::int64_t t, const char* format, bool utc = false);

}  // namespace tabulo
