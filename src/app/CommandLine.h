#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/Host.h"

namespace tabulo {

enum class Verbosity { Quiet, Normal, Verbose };

// What tabulo-cli is asked to do. `line` is the window's command line of old, the folder
// with "-view", "-noquit" and "-sheme THEME", which start-up reads as it always has.
struct CommandLine {
    enum class Task { Index, Bucket, ListThemes, SaveTheme, Scripts, Watch, Search, Audit, Help, Version };
    Task task = Task::Index;
    std::string line;
    std::string target;  // the theme name to save as, or the folder of --scripts and --watch
    std::string query;   // what --search looks for
    bool json = false;   // --audit reports in JSON
    std::string endpoint;  // where the bucket's store is, for s3:// addresses
    bool dryRun = false;   // a bucket's pages are said, not put
    std::string inventory;  // a bucket's objects from this inventory manifest, not its listing
    Answer answer = Answer::No;
    int jobs = 0;  // 0: one per core
    Verbosity verbosity = Verbosity::Normal;
    std::string mistake;  // what is wrong with the arguments, for the user; empty when nothing
};

// Reads the arguments that follow the program's name. `isTheme` says whether a theme of that
// name exists: it tells where a theme name ends when the folder follows it.
CommandLine ParseCommandLine(const std::vector<std::string>& args,
                             const std::function<bool(const std::string&)>& isTheme);

// The text of --help.
std::string HelpText();
// The first lines of the help: how the tool is called.
std::string UsageText();

// Of `names`, the one `word` most likely misspells; nothing when none is close.
std::optional<std::string> ClosestName(std::string_view word,
                                       const std::vector<std::string>& names);

}  // namespace tabulo
