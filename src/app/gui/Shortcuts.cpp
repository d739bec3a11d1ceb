#include "gui/Shortcuts.h"

#include <QPushButton>
#include <QShortcut>

namespace tabulo::gui {

void addShortcuts(QWidget* window) {
    auto shortcut = [window](const QKeySequence& keys, auto handler) {
        QObject::connect(new QShortcut(keys, window), &QShortcut::activated, window, handler);
    };
    auto* save = window->findChild<QPushButton*>("cmdSave");
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [save] { save->click(); });
    auto* go = window->findChild<QPushButton*>("cmdGo");
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return),
                              QKeySequence(Qt::CTRL | Qt::Key_Enter), QKeySequence(Qt::Key_F5)}) {
        shortcut(keys, [go] {
            if (go->isEnabled()) go->click();
        });
    }
    // Closes as the window manager's close and the application's quit do: through closeEvent,
    // which asks to save.
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), [window] { window->close(); });
}

}  // namespace tabulo::gui
