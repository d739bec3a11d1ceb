#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "options/OptionTable.h"

namespace tabulo {

class Engine;
class Options;

// A theme name is a file name in the application folder, never a path.
bool IsValidThemeName(std::string_view name);
std::string ThemePath(std::string_view name);

// The key of an option in a theme file ("chkHeading.Value=", "optProtocol=").
std::string ThemeKey(OptionId id);

// The whole theme file for the options, as UTF-8 with CR LF line ends (no final line end).
std::string ThemeText(const Options& options, std::string_view name);

// Applies a theme file's text (UTF-8) to the options, line by line, as loading does.
void ApplyThemeText(Engine& engine, std::string_view text);

// Loading, saving, choosing, naming and deleting themes, and the www-root lock; each works on
// the theme named by the theme list's text.
void LoadTheme(Engine& engine);
void SaveTheme(Engine& engine);
void ChooseTheme(Engine& engine, int index);
void TypeThemeName(Engine& engine, int keyCode);
void DeleteTheme(Engine& engine);
void LockWwwRoot(Engine& engine);
void UnlockWwwRoot(Engine& engine);
// Locks the www root when the theme names an existing folder: the folder list moves there.
bool ApplyWwwRootLock(Engine& engine);

// "default", "random", then the names of the theme files in the application folder.
std::vector<std::string> ThemeListFromDisk();

}  // namespace tabulo
