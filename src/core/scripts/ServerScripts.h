#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo {

class OptionValues;
class StatusSink;

// The listing script and the upload script, line by line, for scripts written into `folder`:
// links climb from there to the www root whose depth (separators in its path) the last index
// run left in `rootDepth`; `date` is the about line's.
std::vector<std::string> IndexScriptLines(const OptionValues& options, const std::string& folder,
                                          int rootDepth, const std::tm& date);
std::vector<std::string> UploadScriptLines(const OptionValues& options, const std::string& folder,
                                           int rootDepth);

// Writes both scripts into `folder` (cmdMakeScript), telling `status` how it went.
void WriteServerScripts(const OptionValues& options, const std::string& folder, int rootDepth,
                        const std::tm& date, StatusSink& status);

// The file-list pattern as a Perl regular expression with the same rules as the pages' list.
std::string PerlPatternOf(std::string_view filter);

}  // namespace tabulo
