#include "gui/ThemeRow.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "commands/ThemeCommands.h"
#include "gui/QtStrings.h"
#include "gui/Widgets.h"

namespace tabulo::gui {

namespace {

// A key of the theme list as the classic key codes give it: letters upper case.
int keyCodeOf(QKeyEvent* event) {
    int key = event->key();
    return key < 0x100 ? key : 0;
}

QComboBox* themeList(const OptionWidgets& widgets) {
    return static_cast<QComboBox*>(widgets.at(opt("cmbSheme")));
}

}  // namespace

QWidget* buildThemeRow(OptionWidgets& widgets, Engine& engine, std::function<void()> changed,
                       QWidget* parent) {
    QWidget* row = widgets.row({{"cmbSheme", "Theme"},
                                {"cmdSave", "&Save"},
                                {"CmdDelete", "&Delete"},
                                {"cmdRandom", "Generate"}},
                               parent);
    QComboBox* list = themeList(widgets);
    onEvent(list->lineEdit(), QEvent::KeyPress, [&engine, changed](QEvent* event) {
        cmbSheme_KeyDown(engine, keyCodeOf(static_cast<QKeyEvent*>(event)));
        changed();
    });
    QObject::connect(list, &QComboBox::activated, parent, [&engine, changed](int index) {
        cmbSheme_Click(engine, index);
        changed();
    });
    auto on = [&](const char* name, std::function<void()> command) {
        onClick(row, name, [command = std::move(command), changed] {
            command();
            changed();
        });
    };
    on("cmdSave", [&engine] { cmdSave_Click(engine); });
    on("CmdDelete", [&engine] { CmdDelete_Click(engine); });
    on("cmdRandom", [&engine] { engine.GenerateRandomScheme(); });
    keepPlaceWhenHidden(row->findChild<QPushButton*>("cmdRandom"));  // shown only for "random"
    return row;
}

void showThemes(const OptionWidgets& widgets, Engine& engine) {
    QComboBox* list = themeList(widgets);
    QStringList names;
    for (const auto& n : engine.themeList()) names << q(n);
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) shown << list->itemText(i);
    if (names == shown) return;
    QSignalBlocker block(list);
    QString text = list->currentText();
    list->clear();
    list->addItems(names);
    list->setEditText(text);
}

}  // namespace tabulo::gui
