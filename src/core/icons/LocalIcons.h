#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tabulo {

class OptionValues;
class StatusSink;

// The program's own files (the icon set): $TABULO_DATA, else share/tabulo beside the folder of
// the running program, else the folder it was installed to. Empty when none exists.
std::string ShippedDataFolder();

// Whether an icon service address names a real host, not a placeholder of the reserved
// example and test domains: only then are icons fetched from it.
bool IsRealIconService(std::string_view address);

// The icons of a run with local icons, kept in `root`, the folder the pages' icon addresses
// start from; nothing is written outside `tree` (resolved).
class LocalIcons {
  public:
    LocalIcons(const OptionValues& options, std::string root, std::string tree,
               std::string shippedIcons, StatusSink& status);

    // Copies from the shipped set the icons of `types` the site lacks; returns the types that
    // still have none.
    std::vector<std::string> copyShipped(const std::vector<std::string>& types);
    // Gives every type of `types` that has no icon a copy of the "unknown" icon, so every
    // address on a page leads to a picture.
    void fillMissing(const std::vector<std::string>& types);

  private:
    std::string iconPath(const std::string& type) const;
    bool copy(const std::string& from, const std::string& type);
    bool makeFolders();

    const OptionValues& o_;
    std::string root_, tree_, shipped_;
    StatusSink& status_;
    bool foldersMade_ = false;
};

}  // namespace tabulo
