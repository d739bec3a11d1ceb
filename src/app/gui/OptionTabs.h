#pragma once

#include <QTabWidget>
#include <QVBoxLayout>
#include <functional>

#include "engine/Engine.h"
#include "gui/OptionWidgets.h"

namespace tabulo::gui {

// A page of the options tabs as it is filled: its rows go under each other.
struct TabPage {
    OptionWidgets& widgets;
    Engine& engine;
    QWidget* page;
    QVBoxLayout* layout;

    void add(QWidget* w) const { layout->addWidget(w); }
    void row(std::initializer_list<std::pair<const char*, const char*>> items) const {
        add(widgets.row(items, page));
    }
    QWidget* control(const QString& name, const QString& caption) const {
        QWidget* w = widgets.control(name, caption, page);
        add(w);
        return w;
    }
};

// The options tabs, tabOptions: a page per kind of option, their buttons wired to the engine.
QTabWidget* buildOptionTabs(OptionWidgets& widgets, Engine& engine, QWidget* window);

// Opens Tabulo's site: the About tab's link and the window's.
void openTabuloSite(Engine& engine);

// The Colors tab: the colour fields (txtColorHex), the mixer (rgbFrame) and the font row.
void fillColoursTab(const TabPage& tab);

// Paints the colour fields and the mixer's labels below `window` as the engine has them.
void showColours(Engine& engine, QWidget* window);

}  // namespace tabulo::gui
