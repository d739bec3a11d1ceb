#pragma once

#include <string>

namespace tabulo {

class Engine;

// Today's date as the about lines show it: month-day-year, "12-06-2026".
std::string TodayText(Engine& engine);

// Closes a page in the run's open output file: upload form, footer code, about line, badges.
void WritePageFooter(Engine& engine);

}  // namespace tabulo
