#pragma once

#include "options/OptionTable.h"

namespace tabulo {

class Engine;

// The rules that tie options together: every real change of an option, from the user or a
// theme load, marks the options edited, enables or shows dependent controls and refreshes the
// preview, as its rule says. A rule that sets another option runs that option's rule first.
class PanelRules {
  public:
    explicit PanelRules(Engine& engine);
    ~PanelRules();
    PanelRules(const PanelRules&) = delete;
    PanelRules& operator=(const PanelRules&) = delete;

    // Enabled and visible states as the current values ask, without marking anything.
    void applyStates();

  private:
    void onChange(OptionId id, int index);

    Engine& engine_;
    int token_;
};

}  // namespace tabulo
