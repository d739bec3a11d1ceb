#pragma once

#include <QString>
#include <QWidget>
#include <initializer_list>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "engine/Engine.h"

namespace tabulo::gui {

// The widgets of the options. Each carries its option's name, sends its edits to the engine and
// shows the engine's value; the rules stay in the engine.
class OptionWidgets {
public:
    // `context` holds the widgets' connections to the engine: the window.
    OptionWidgets(Engine& engine, QObject* context) : engine_(engine), context_(context) {}

    // The widget of the option `name`, bound to the engine; nullptr for the colour fields and
    // the tabs, which the window builds.
    QWidget* bind(std::string_view name, QWidget* parent);
    // The widget of the option `name` with its caption, or else a button ("cmd...") or a
    // clickable label of that name.
    QWidget* control(const QString& name, const QString& caption, QWidget* parent);
    // Controls side by side; a name ":" is a plain caption for the text box after it.
    QWidget* row(std::initializer_list<std::pair<const char*, const char*>> items, QWidget* parent);
    // Takes the option's widget that the window built: the tabs, the colour fields.
    void adopt(OptionId id, QWidget* w) { widgets_[id] = w; }
    QWidget* at(OptionId id) const { return widgets_.at(id); }

    // Shows the engine's value of `id`; of the colour fields, that of slot `index`.
    void show(OptionId id, int index);
    // Widens the text boxes to what they hold, so the defaults show whole.
    void fitTexts();

private:
    QWidget* checkBox(OptionId id, QWidget* parent);
    QWidget* optionButton(OptionId id, QWidget* parent);
    QWidget* indexedGroup(OptionId id, QWidget* parent);
    QWidget* textField(OptionId id, QWidget* parent);
    QWidget* panelToggle(QWidget* parent);
    QWidget* slider(OptionId id, QWidget* parent);
    void showGroup(OptionId id);
    void showText(OptionId id, QWidget* w);

    Engine& engine_;
    QObject* context_;
    std::unordered_map<OptionId, QWidget*> widgets_;
};

}  // namespace tabulo::gui
