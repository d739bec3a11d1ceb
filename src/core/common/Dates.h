#pragma once

#include <ctime>
#include <string>

namespace tabulo {

// A date as the about lines show it: month-day-year, "12-06-2026".
std::string aboutDate(const std::tm& date);

}  // namespace tabulo
