#pragma once

#include <string>
#include <string_view>

#include "options/Options.h"

namespace tabulo {

std::string FormatFileSize(const Options& options, double bytes);
// Escapes a typed address or path for a link.
std::string URLEncode(const OptionValues& options, std::string_view sRawURL);
std::string FlatPageName(const Options& options, std::string_view relativePath);
std::string FileTypeOf(std::string_view fileName);
bool IsExcluded(const Options& options, std::string_view fileName);
int CountPathSeparators(std::string_view path);

}  // namespace tabulo
