#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tabulo {

class Engine;

// The listing script and the upload script, line by line, for the current options.
std::vector<std::string> IndexScriptLines(Engine& engine);
std::vector<std::string> UploadScriptLines(Engine& engine);

// Writes both scripts into the current folder (cmdMakeScript).
void WriteServerScripts(Engine& engine);

// The file-list pattern as a Perl regular expression with the same rules as the pages' list.
std::string PerlPatternOf(std::string_view filter);

}  // namespace tabulo
