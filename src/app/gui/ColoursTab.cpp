#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/OptionTabs.h"
#include "gui/QtStrings.h"
#include "gui/Widgets.h"

namespace tabulo::gui {

namespace {

// The mixer: a slider and a label per channel, the brightness and the colour chooser.
QWidget* mixer(const TabPage& tab, QWidget* parent) {
    auto* mixer = new QWidget(parent);
    mixer->setObjectName("rgbFrame");
    auto* layout = new QHBoxLayout(mixer);
    for (const char* c : {"R", "G", "B"}) {
        auto* column = new QVBoxLayout;
        column->addWidget(tab.widgets.control(QString("scr") + c, "", mixer));
        auto* label = new QLabel(" 0", mixer);
        label->setObjectName(QString("lbl") + c);
        label->setAutoFillBackground(true);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(" 255 ") + 4);
        column->addWidget(label);
        layout->addLayout(column);
    }
    layout->addWidget(tab.widgets.control("scrBrightness", "", mixer));
    layout->addWidget(tab.widgets.control("cmdBrowseColor", "...", mixer));
    keepPlaceWhenHidden(mixer);  // parking the mixer leaves the window as it is
    return mixer;
}

}  // namespace

void fillColoursTab(const TabPage& tab) {
    tab.row({{"chkColor", "Colors"},
             {"chkCss", "Stylesheet"},
             {"optCssNew", "Write new css"},
             {"optCssOld", "Link to old css"},
             {"optCssEmbed", "Embedded"}});
    auto* frame = new QGroupBox(tab.page);
    frame->setObjectName("frmColor");
    auto* layout = new QHBoxLayout(frame);
    auto* fields = new ColourFields(frame);
    fields->setObjectName("txtColorHex");
    tab.widgets.adopt(opt("txtColorHex"), fields);
    layout->addWidget(fields);
    layout->addWidget(mixer(tab, frame));
    layout->addStretch();
    tab.add(frame);
    tab.row({{"chkFont", "Font:"},
             {"txtFont", "Font family"},
             {"cmdBrowseFont", "..."},
             {"chkFontSize", "Size:"},
             {"txtFontSize", "Font size"},
             {"scrFontSize", ""}});

    Engine& engine = tab.engine;
    QObject::connect(
        fields, &ColourFields::edited, tab.page,
        [&e = tab.engine](int slot, const QString& t) { e.options().setColour(slot, s(t)); });
    QObject::connect(fields, &ColourFields::clicked, tab.page,
                     [&engine](int slot) { engine.SelectColorSlot(slot); });
    QObject::connect(fields, &ColourFields::labelClicked, tab.page,
                     [&engine] { engine.ParkMixer(); });
    onClick(tab.page, "cmdBrowseColor", [&engine] { engine.cmdBrowseColor_Click(); });
    onClick(tab.page, "cmdBrowseFont", [&engine] { engine.cmdBrowseFont_Click(); });
}

void showColours(Engine& engine, QWidget* window) {
    const ColourEditor& colours = engine.colours();
    auto* fields = window->findChild<ColourFields*>("txtColorHex");
    for (int i = 0; i < ColourFields::kSlots; ++i) fields->paint(i, colours.field(i));
    for (int c = 0; c < 3; ++c) {
        const auto& l = colours.label(c);
        auto* label = window->findChild<QLabel*>(QString("lbl") + "RGB"[c]);
        label->setText(q(l.caption));
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, QColor::fromRgb(l.background));
        palette.setColor(QPalette::WindowText, QColor::fromRgb(l.text));
        label->setPalette(palette);
    }
}

}  // namespace tabulo::gui
