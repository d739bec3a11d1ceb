#pragma once

#include <functional>
#include <string>

namespace tabulo {

class Host;
class Options;
class Panel;

// The icon option rules. Those that change what the preview shows call `refreshPreview`.

// The size attributes of every icon tag and the large-icon ("#32") form of the templates.
void BuildIconSizeAttributes(Options& options, Panel& panel,
                             const std::function<void()>& refreshPreview);
// txtIcons32 changed: a size needs its "x".
void IconSizeTextChanged(Options& options, Panel& panel,
                         const std::function<void()>& refreshPreview);
// The size slider moved: a square size, 8 to 256.
void IconSizeSliderChanged(Options& options);
// Local icons need a www root: an empty one, or the "?" placeholder, becomes `folderList`.
void LocalIconRootFromFolderList(Options& options, const std::string& folderList);
// chkIconsDynamic clicked: the remote template names the service's script or a static file.
void IconsDynamicChanged(Options& options);
// cmdBrowseIconPath: the local icon folder, chosen under the www root.
void ChooseLocalIconFolder(Options& options, Host& host);

// The shortest decimal form of a number (32, 12.5).
std::string shortestNumber(double value);

}  // namespace tabulo
