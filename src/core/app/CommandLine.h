#pragma once

#include <string>
#include <string_view>

namespace tabulo {

class Engine;

// Whether a folder exists; never fails.
bool DirExists(std::string_view name);

// The folder of themes and markers: $TABULO_HOME, else $XDG_CONFIG_HOME/tabulo,
// else ~/.config/tabulo.
std::string applicationFolder();

struct UnattendedOutcome {
    bool started = false;  // an index run was started
    bool quit = false;     // the program ends by itself now that the run is done
};

// The unattended path of start-up: the command line `line` names a folder, glued switches
// "-view" and "-noquit" included; the folder is indexed.
UnattendedOutcome RunCommandLine(Engine& engine, std::string_view line);

}  // namespace tabulo
