#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

#include "host/Host.h"

namespace tabulo::gui {

// The engine's questions and choosers as the desktop's dialogs over `parent`, in the host's
// terms.
Answer askInMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                       Buttons buttons);
// A warning with the whole story below it: Yes when the user presses `proceed`, else Cancel.
Answer warnInMessageBox(QWidget* parent, const std::string& text, const std::string& details,
                        const std::string& title, const std::string& proceed);
std::optional<std::uint32_t> pickColour(QWidget* parent, std::uint32_t initial);
std::optional<Host::Font> pickFont(QWidget* parent, const Host::Font& initial);

// Opens a file, a folder or an address with the desktop's default action; failures are silent.
void openWithDesktop(const std::string& target);

}  // namespace tabulo::gui
