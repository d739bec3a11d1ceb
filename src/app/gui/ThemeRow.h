#pragma once

#include <QWidget>
#include <functional>

#include "engine/Engine.h"
#include "gui/OptionWidgets.h"

namespace tabulo::gui {

// The theme row: the theme list (cmbSheme), Save, Delete and Generate. Choosing a theme, keys
// typed in the list and the buttons go to the engine; `changed` follows each, as they change
// what no option shows: the edited mark and the list of themes.
QWidget* buildThemeRow(OptionWidgets& widgets, Engine& engine, std::function<void()> changed,
                       QWidget* parent);

// Lists the engine's themes in the theme list, keeping the text typed there.
void showThemes(const OptionWidgets& widgets, Engine& engine);

}  // namespace tabulo::gui
