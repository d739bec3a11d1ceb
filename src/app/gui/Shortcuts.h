#pragma once

#include <QWidget>

namespace tabulo::gui {

// The window's keys: Ctrl+S saves the theme; Ctrl+Return, Ctrl+Enter and F5 press Go! when it
// can be pressed; Ctrl+Q closes the window.
void addShortcuts(QWidget* window);

}  // namespace tabulo::gui
