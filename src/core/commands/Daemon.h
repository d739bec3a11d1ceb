#pragma once

#include <string>
#include <vector>

namespace tabulo {

class Engine;
class OptionValues;

// The folders the daemon keeps current: the www root (without one, the folder list's folder),
// then every path of the extra list that names a folder; each once.
std::vector<std::string> DaemonFolders(const Engine& engine);

// One pass: each of those folders indexed unattended with the current options, a page
// replaced only when it changed. A folder that cannot be indexed is reported and skipped.
void DaemonPass(Engine& engine);

// Seconds between passes, as typed (at least 1).
int DaemonSeconds(const OptionValues& options);

}  // namespace tabulo
