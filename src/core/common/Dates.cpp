#include "common/Dates.h"

#include <cstdio>

namespace tabulo {

std::string aboutDate(const std::tm& date) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", date.tm_mon + 1, date.tm_mday,
                  date.tm_year + 1900);
    return buf;
}

std::string timeText(std::int64_t t, const char* format, bool utc) {
    const std::time_t when = static_cast<std::time_t>(t);
    std::tm tm{};
    if (utc) gmtime_r(&when, &tm);
    else localtime_r(&when, &tm);
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, format, &tm);
    return std::string(buf, n);
}

}  // namespace tabulo
