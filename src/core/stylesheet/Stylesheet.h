#pragma once

#include <string>

#include "Host.h"
#include "StatusSink.h"
#include "options/Options.h"

namespace tabulo {

// The five style rules, one per line (CR LF), from the colour slots, font and border.
std::string StylesheetRules(const OptionValues& options);

// The stylesheet file: the rules in `folder` + the stylesheet name, after the overwrite
// question (unless replacing is on), never outside `tree`.
void WriteStylesheetFile(const OptionValues& options, const std::string& folder,
                         const std::string& tree, Host& host, StatusSink& sink);

}  // namespace tabulo
