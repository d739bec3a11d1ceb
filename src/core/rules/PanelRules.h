#pragma once

#include <functional>
#include <memory>
#include <string>

#include "options/OptionTable.h"

namespace tabulo {

class ColourEditor;
class Options;
class Panel;

// What the rules act on: the option set, the panel's states, the colour mixer, the folder
// list's path and the preview.
struct RuleTargets {
    Options& options;
    Panel& panel;
    ColourEditor& colours;
    std::function<std::string()> currentFolder;
    std::function<void()> refreshPreview;
};

// The rules that tie options together: every real change of an option, from the user or a
// theme load, marks the options edited, enables or shows dependent controls and refreshes the
// preview, as its rule says. A rule that sets another option runs that option's rule first.
class PanelRules {
  public:
    explicit PanelRules(RuleTargets targets);
    ~PanelRules();
    PanelRules(const PanelRules&) = delete;
    PanelRules& operator=(const PanelRules&) = delete;

    // Enabled and visible states as the current values ask, without marking anything.
    void applyStates();

    // While a theme's lines apply, rules that would fill paths from the folder list wait, and
    // the colour field is not refreshed line by line; runWaitingRules runs what waits, each
    // once, on the result. Ending the load drops what still waits (a load that failed).
    bool loadingTheme() const;
    void setLoadingTheme(bool loading);
    void runWaitingRules();

    struct Context;

  private:
    void onChange(OptionId id, int index);

    std::unique_ptr<Context> c_;
    int token_;
};

}  // namespace tabulo
