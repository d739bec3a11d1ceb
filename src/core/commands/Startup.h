#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tabulo {

class Engine;

enum class StartMode {
    Window,  // the window stays open after start-up unless an unattended run ends it
    Tool,    // the command-line tool: no window, so the default theme comes before the run
};

struct StartOutcome {
    bool started = false;   // an index run was started
    bool quit = false;      // the program ends by itself now that the run is done
    bool noFolder = false;  // the line held switches only: nothing to index
    std::string theme;      // the theme named by "-sheme ", when one was
    bool themeMissing = false;   // that theme has no file
    bool folderMissing = false;  // the tool's folder does not exist or is a file
};

// Start-up: the theme list, the command line `line` (a folder, glued switches "-view",
// "-noquit" and "-sheme NAME" included), the default theme, the www-root lock. With `index`
// false the folder is not indexed (for tools that only want the options). A line without a
// folder indexes nothing. The tool stops at a theme that is not there, and says plainly why a
// folder cannot be indexed when it does not exist or is a file.
StartOutcome Form_Activate(Engine& engine, std::string_view line, StartMode mode,
                           bool index = true);

// Why the tool cannot index `folder`: "Error: The folder `x` does not exist." or "Error: `x`
// is a file, not a folder."; nothing when it is a folder (one that cannot be read is said
// otherwise). Blanks at the end may be left out, as the folder test leaves them out.
std::optional<std::string> MissingFolderMessage(std::string_view folder);

// The folder the window showed last, kept in the application folder between starts.
void RememberFolder(const std::string& folder);
std::optional<std::string> RememberedFolder();

// Before a recursive run from the window: a folder that lies under no locked www root and holds
// more than 1,000 folders is asked about once. True when the run may go.
bool ConfirmLargeRun(Engine& engine);

// Points the folder list at `folder` and works out the www root depth as an index run of it
// would, so scripts written there link the stylesheet right; false (with an error in the
// status line) when the folder does not exist.
bool PrepareScriptFolder(Engine& engine, std::string_view folder);

}  // namespace tabulo
