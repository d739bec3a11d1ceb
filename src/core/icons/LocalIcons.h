#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/FolderAccess.h"
#include "icons/IconStore.h"

namespace tabulo {

class OptionValues;
class StatusSink;

// The program's own files (the icon set): $TABULO_DATA, else share/tabulo beside the folder of
// the running program, else the folder it was installed to. Empty when none exists.
std::string ShippedDataFolder();

// Whether an icon service address names a real host, not a placeholder of the reserved
// example and test domains: only then are icons fetched from it.
bool IsRealIconService(std::string_view address);

// Whether a type may name an icon file: one that could name another place than its own file
// (hidden, "..", a separator, control characters) never does.
bool IsStorableIconType(std::string_view type);

// The icons of a run with local icons, kept below `root` (open), the folder the pages' icon
// addresses start from. Their folders are made and opened one at a time relative to it, never
// through a link that leads out of the tree `tree`; nothing is written anywhere else.
class LocalIcons : public IconStore {
  public:
    LocalIcons(const OptionValues& options, SharedFolder root, std::string shownRoot,
               FolderId tree, std::string shippedIcons, StatusSink& status);

    // Copies from the shipped set the icons of `types` the site lacks; returns the types that
    // still have none.
    std::vector<std::string> copyShipped(const std::vector<std::string>& types);
    // Gives every type of `types` that has no icon a copy of the "unknown" icon, so every
    // address on a page leads to a picture.
    void fillMissing(const std::vector<std::string>& types);

    bool hasIcon(const std::string& type) override;
    bool storeIcon(const std::string& type, const std::string& bytes) override;

  private:
    // The icon's file: its folder below the root (made when `create`), and its name there.
    struct Place {
        int folder = -1;
        std::string name, shown;
    };
    bool placeOf(const std::string& type, bool create, Place& place);
    int folderAt(const std::string& relative, bool create);
    // The shipped set's file for a type; empty without a shipped set.
    std::string shippedIcon(const std::string& type) const;
    bool copy(const std::string& from, const std::string& type);

    const OptionValues& o_;
    SharedFolder root_;
    std::string shownRoot_;
    FolderId tree_;
    std::string shipped_;
    StatusSink& status_;
    std::map<std::string, SharedFolder> folders_;  // opened below the root, by relative path
    bool refused_ = false;                          // the icon folder leads out: said once
};

}  // namespace tabulo
