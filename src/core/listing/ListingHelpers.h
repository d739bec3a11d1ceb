#pragma once

#include <string>
#include <string_view>

#include "options/Options.h"

namespace tabulo {

std::string FormatFileSize(const OptionValues& options, double bytes);
// Escapes a typed address or path for a link.
std::string URLEncode(const OptionValues& options, std::string_view sRawURL);
std::string FlatPageName(const OptionValues& options, std::string_view relativePath);
std::string FileTypeOf(std::string_view fileName);
bool IsExcluded(const OptionValues& options, std::string_view fileName);
// Whether a run gathers the icon types its pages need: to fetch them, or to copy them into the
// site's own icon folder.
bool WantsIconFiles(const OptionValues& options);
int CountPathSeparators(std::string_view path);

}  // namespace tabulo
