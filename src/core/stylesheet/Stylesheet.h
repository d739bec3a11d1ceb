#pragma once

#include <string>

#include "host/Host.h"
#include "host/StatusSink.h"
#include "common/FolderAccess.h"
#include "options/Options.h"

namespace tabulo {

// The five style rules, one per line (CR LF), from the colour slots, font and border.
std::string StylesheetRules(const OptionValues& options);

// Where the stylesheet file goes: the open folder `folder`, shown as `shown`; a link in its
// place may only lead within `tree`. Nobody is asked when `unattended`: a different
// stylesheet there is replaced.
struct StylesheetPlace {
    int folder = -1;
    std::string shown;
    FolderId tree;
    bool unattended = false;
};

// The stylesheet file: the rules in the folder under the stylesheet name, after the overwrite
// question (unless replacing is on); the same rules again are neither asked about nor written.
void WriteStylesheetFile(const OptionValues& options, const StylesheetPlace& place, Host& host,
                         StatusSink& sink);
// The same in a folder named by its path ("" is no folder: an error).
void WriteStylesheetFile(const OptionValues& options, const std::string& folder, Host& host,
                         StatusSink& sink);

}  // namespace tabulo
