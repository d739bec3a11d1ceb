#include "commands/Daemon.h"

#include <algorithm>

#include "engine/Engine.h"
#include "common/Paths.h"
#include "common/Text.h"

namespace tabulo {

std::vector<std::string> DaemonFolders(const Engine& engine) {
    const Options& o = engine.options();
    std::vector<std::string> folders;
    auto add = [&](const std::string& path) {
        std::string folder = normalFolder(path);
        if (folder.empty() || !DirExists(folder)) return;
        if (std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    };
    const std::string& root = o.text(opt("txtWWWroot"));
    add(isBlank(root) ? engine.currentFolder() : root);
    for (const std::string& more : o.list(opt("lstDeamonMore"))) add(more);
    return folders;
}

void DaemonPass(Engine& engine) {
    for (const std::string& folder : DaemonFolders(engine)) {
        engine.RunUnattended(folder, engine.options().on(opt("chkReqrsive")));
    }
}

int DaemonSeconds(const OptionValues& o) {
    return wholeWithin<int>(val(o.text(opt("txtDaemon"))), 1, 24 * 3600 * 365);
}

}  // namespace tabulo
