#include "common/Dates.h"

#include <cstdio>

namespace tabulo {

std::string aboutDate(const std::tm& date) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d", date.tm_mon + 1, date.tm_mday,
                  date.tm_year + 1900);
    return buf;
}

}  // namespace tabulo
