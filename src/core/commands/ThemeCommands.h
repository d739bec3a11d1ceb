#pragma once

#include <string_view>

namespace tabulo {

class Engine;

// Applies a theme file's text (UTF-8) to the engine's options, as loading does: rules that
// would fill paths from the folder list wait for the end, then the colours show at once.
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

}  // namespace tabulo
