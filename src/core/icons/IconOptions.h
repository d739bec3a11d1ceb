#pragma once

#include <string>

namespace tabulo {

class Engine;

// The size attributes of every icon tag and the large-icon ("#32") form of the templates.
void BuildIconSizeAttributes(Engine& engine);
// txtIcons32 changed: a size needs its "x".
void IconSizeTextChanged(Engine& engine);
// The size slider moved: a square size, 8 to 256.
void IconSizeSliderChanged(Engine& engine);
// Local icons need a www root: an empty one, or the "?" placeholder, becomes the folder list's.
void LocalIconRootFromFolderList(Engine& engine);
// chkIconsDynamic clicked: the remote template names the service's script or a static file.
void IconsDynamicChanged(Engine& engine);
// cmdBrowseIconPath: the local icon folder, chosen under the www root.
void ChooseLocalIconFolder(Engine& engine);

// The shortest decimal form of a number (32, 12.5).
std::string shortestNumber(double value);

}  // namespace tabulo
