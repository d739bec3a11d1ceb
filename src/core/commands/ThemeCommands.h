#pragma once

#include <string_view>

namespace tabulo {

class Engine;

// Applies a theme file's text (UTF-8) to the engine's options, as loading does: rules that
// would fill paths from the folder list wait for the end, then the colours show at once.
void ApplyThemeText(Engine& engine, std::string_view text);

// Loading, saving, choosing, naming and deleting themes, and the www-root lock; each works on
// the theme named by the theme list's text.
void cmdLoad_Click(Engine& engine);
void cmdSave_Click(Engine& engine);
void cmbSheme_Click(Engine& engine, int index);
void cmbSheme_KeyDown(Engine& engine, int keyCode);
void CmdDelete_Click(Engine& engine);
void cmdLockWWWRoot_Click(Engine& engine);
void cmdUnlock_Click(Engine& engine);
// The exit question: saves the changed options when asked to; true when the window may close.
bool Form_Unload(Engine& engine);
// Locks the www root when the theme names an existing folder: the folder list moves there.
bool ApplyWwwRootLock(Engine& engine);

}  // namespace tabulo
