#pragma once

#include <string>

namespace tabulo {

class Host;
class Options;
class StatusSink;

// The user's data folder for desktop integration: $XDG_DATA_HOME, else ~/.local/share.
std::string dataFolder();

// The file managers' "Indexilize" entry: a script for GNOME Files and a service menu for
// Dolphin that start `executable` with the quoted folder followed directly by "-view". Done
// once: a marker in the application folder records it; deleting the marker does it again.
void RegisterContextMenu(StatusSink& status, const std::string& executable);

// The output folder of the all-in-one modes, chosen with the folder chooser; it starts at the
// current choice, else at `folderList`.
void ChooseAllInOneFolder(Options& options, Host& host, const std::string& folderList);

}  // namespace tabulo
