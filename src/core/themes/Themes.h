#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "host/StatusSink.h"
#include "options/OptionTable.h"

namespace tabulo {

class OptionValues;
class Options;

// A theme name is a file name in the application folder, never a path.
bool IsValidThemeName(std::string_view name);
std::string ThemePath(std::string_view name);

// The key of an option in a theme file ("chkHeading.Value=", "optProtocol=").
std::string ThemeKey(OptionId id);

// The whole theme file for the options, as UTF-8 with CR LF line ends (no final line end).
std::string ThemeText(const OptionValues& options, std::string_view name);

// What some lines of a theme change beyond the option values: the status line, the folder
// list and the options panel belong to whoever loads the theme.
class ThemeLoadEffects : public StatusSink {
  public:
    // Once the status line shows an error, a load no longer reports its sections.
    virtual bool statusShowsError() const = 0;
    // The theme's www root is an existing folder: the folder list moves there.
    virtual void wwwRootFound(const std::string& folder) = 0;
    // The panel caption line was applied: the options panel opens or closes.
    virtual void toggleOptionsPanel() = 0;
};

// Applies a theme file's text (UTF-8) to the options, line by line, as loading does.
void ApplyThemeLines(Options& options, std::string_view text, ThemeLoadEffects& effects);

// A theme file's text as UTF-8, without its byte-order mark. Nothing, with `ec` clear, when the
// file is no regular file (never opened, so a pipe cannot hang the load); nothing, with `ec`
// set, when it cannot be read.
std::optional<std::string> ReadThemeFile(std::string_view name, std::error_code& ec);
// Replaces the theme file with `text` (windows-1252 where that reads back the same, UTF-8
// otherwise); throws std::system_error, leaving the old file as it was.
void WriteThemeFile(std::string_view name, const std::string& text);
// Removes the theme file; a file that is not there is no error.
std::error_code DeleteThemeFile(std::string_view name);

// "default", "random", then the names of the theme files in the application folder.
std::vector<std::string> ThemeListFromDisk();

// Themes that come with the program ("modern") are written into the application folder once,
// so they are listed, loaded, copied and edited as any other; one the user deleted stays
// deleted. Failures are silent: the program works without them.
void InstallShippedThemes();

}  // namespace tabulo
