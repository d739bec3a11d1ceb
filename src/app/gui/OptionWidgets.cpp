#include "gui/OptionWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>

#include "common/Text.h"
#include "gui/QtStrings.h"
#include "gui/Widgets.h"

namespace tabulo::gui {

namespace {

// Multi-line texts hold CR LF in the engine and LF in an editor.
QString forEditor(const std::string& text) {
    return q(replaceAll(text, "\r\n", "\n"));
}
std::string fromEditor(const QString& text) {
    return crlfLineBreaks(s(text));
}

const std::unordered_map<std::string_view, QStringList> kIndexedCaptions = {
    {"optProtocol", {"http://", "ftp://", "sig2dat:///", "ed2k://", "dchub://"}},
    {"optFileSize", {"Bytes", "KBytes", "MBytes", "GBytes", "TBytes", "PBytes"}},
};

// The ranges come from the option table.
const std::unordered_map<std::string_view, Qt::Orientation> kSliders = {
    {"scrR", Qt::Vertical},          {"scrG", Qt::Vertical},
    {"scrB", Qt::Vertical},          {"scrBrightness", Qt::Vertical},
    {"scrFontSize", Qt::Horizontal}, {"scrIconsSize", Qt::Vertical},
};

}  // namespace

QWidget* OptionWidgets::bind(std::string_view name, QWidget* parent) {
    const OptionId id = Options::find(name).value();
    QWidget* w = nullptr;
    switch (Options::def(id).kind) {
        case OptionKind::Check:
            w = checkBox(id, parent);
            break;
        case OptionKind::Option:
            w = optionButton(id, parent);
            break;
        case OptionKind::Indexed:
            w = indexedGroup(id, parent);
            break;
        case OptionKind::Text:
            w = textField(id, parent);
            break;
        case OptionKind::Caption:
            w = new QLabel(parent);
            break;
        case OptionKind::Panel:
            w = panelToggle(parent);
            break;
        case OptionKind::List:
            w = new QListWidget(parent);
            static_cast<QListWidget*>(w)->setMaximumHeight(80);
            break;
        case OptionKind::Slider:
            w = slider(id, parent);
            break;
        case OptionKind::Colours:
        case OptionKind::Tab:
            return nullptr;
    }
    w->setObjectName(q(std::string(name)));
    widgets_[id] = w;
    return w;
}

QWidget* OptionWidgets::checkBox(OptionId id, QWidget* parent) {
    auto* box = new QCheckBox(parent);
    QObject::connect(box, &QCheckBox::clicked, context_, [this, id, box](bool on) {
        box->setTristate(false);
        engine_.options().setCheck(id, on ? 1 : 0);
    });
    return box;
}

QWidget* OptionWidgets::optionButton(OptionId id, QWidget* parent) {
    auto* radio = new QRadioButton(parent);
    radio->setAutoExclusive(false);
    QObject::connect(radio, &QRadioButton::clicked, context_, [this, id] {
        engine_.options().select(id);
        show(id, -1);  // a click never clears a member
    });
    return radio;
}

QWidget* OptionWidgets::indexedGroup(OptionId id, QWidget* parent) {
    const std::string name(Options::def(id).name);
    auto* group = new IndexedOptionGroup(kIndexedCaptions.at(name), parent);
    for (std::size_t i = 0; i < group->members.size(); ++i) {
        group->members[i]->setObjectName(q(name + "_" + std::to_string(i)));
    }
    QObject::connect(group, &IndexedOptionGroup::chosen, context_, [this, id](int index) {
        engine_.options().select(id, index);
        show(id, -1);
    });
    return group;
}

QWidget* OptionWidgets::textField(OptionId id, QWidget* parent) {
    const std::string_view name = Options::def(id).name;
    if (name == "cmbSheme") {
        auto* box = new QComboBox(parent);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setMinimumContentsLength(12);
        box->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
        QObject::connect(box, &QComboBox::editTextChanged, context_,
                         [this, id](const QString& t) { engine_.options().setText(id, s(t)); });
        return box;
    }
    if (name == "txtHeader" || name == "txtFooter" || name == "txtExclude") {
        auto* edit = new QPlainTextEdit(parent);
        edit->setMaximumHeight(name == "txtExclude" ? 60 : 150);
        QObject::connect(edit, &QPlainTextEdit::textChanged, context_, [this, id, edit] {
            engine_.options().setText(id, fromEditor(edit->toPlainText()));
        });
        return edit;
    }
    auto* edit = new QLineEdit(parent);
    QObject::connect(edit, &QLineEdit::textEdited, context_,
                     [this, id](const QString& t) { engine_.options().setText(id, s(t)); });
    return edit;
}

QWidget* OptionWidgets::panelToggle(QWidget* parent) {
    auto* label = new ClickableLabel(parent);
    label->setMouseTracking(true);
    label->setFocusPolicy(Qt::StrongFocus);
    label->setAccessibleName("Show or hide the options");
    // The same frame focused or not, so moving the focus moves nothing.
    label->setStyleSheet("QLabel { border: 1px solid transparent; padding: 1px; }"
                         "QLabel:focus { border: 1px dotted palette(highlight); }");
    QObject::connect(label, &ClickableLabel::clicked, context_,
                     [this] { engine_.ToggleOptionsPanel(); });
    return label;
}

QWidget* OptionWidgets::slider(OptionId id, QWidget* parent) {
    const OptionDef& d = Options::def(id);
    const Qt::Orientation orientation = kSliders.at(d.name);
    auto* bar = new QScrollBar(orientation, parent);
    bar->setRange(d.low, d.high);
    bar->setPageStep(10);
    if (orientation == Qt::Vertical) bar->setMinimumHeight(90);
    QObject::connect(bar, &QScrollBar::valueChanged, context_,
                     [this, id](int v) { engine_.options().setCheck(id, v); });
    return bar;
}

QWidget* OptionWidgets::control(const QString& name, const QString& caption, QWidget* parent) {
    if (Options::find(s(name))) {
        QWidget* w = bind(s(name), parent);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) button->setText(caption);
        if (!caption.isEmpty() && !qobject_cast<QAbstractButton*>(w)) {
            w->setToolTip(caption);
            w->setAccessibleName(caption);
        }
        return w;
    }
    QWidget* w;
    if (name.startsWith("cmd") || name.startsWith("Cmd")) {
        w = new QPushButton(caption, parent);
    } else {
        w = new ClickableLabel(caption, parent);
    }
    w->setObjectName(name);
    return w;
}

QWidget* OptionWidgets::row(std::initializer_list<std::pair<const char*, const char*>> items,
                            QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    QLabel* caption = nullptr;
    for (const auto& [name, text] : items) {
        QString n(name);
        if (n.startsWith(":")) {  // a plain caption before a text box
            caption = new QLabel(text, box);
            layout->addWidget(caption);
            continue;
        }
        QWidget* w = control(n, text, box);
        if (caption) caption->setBuddy(w);
        caption = nullptr;
        layout->addWidget(w);
    }
    layout->addStretch();
    return box;
}

void OptionWidgets::show(OptionId id, int index) {
    auto it = widgets_.find(id);
    if (it == widgets_.end()) return;
    QWidget* w = it->second;
    const Options& o = engine_.options();
    QSignalBlocker block(w);
    switch (Options::def(id).kind) {
        case OptionKind::Check: {
            auto* box = static_cast<QCheckBox*>(w);
            int v = o.check(id);
            box->setTristate(v != 0 && v != 1);
            box->setCheckState(v == 0   ? Qt::Unchecked
                               : v == 1 ? Qt::Checked
                                        : Qt::PartiallyChecked);
            break;
        }
        case OptionKind::Option:
        case OptionKind::Indexed:
            showGroup(id);
            break;
        case OptionKind::Text:
            showText(id, w);
            break;
        case OptionKind::Caption:
        case OptionKind::Panel:
            static_cast<QLabel*>(w)->setText(q(o.text(id)));
            break;
        case OptionKind::List: {
            auto* list = static_cast<QListWidget*>(w);
            list->clear();
            for (const auto& entry : o.list(id)) list->addItem(q(entry));
            break;
        }
        case OptionKind::Tab:
            static_cast<QTabWidget*>(w)->setCurrentIndex(o.tab());
            break;
        case OptionKind::Slider:
            static_cast<QScrollBar*>(w)->setValue(o.check(id));
            break;
        case OptionKind::Colours: {
            QLineEdit* field = static_cast<ColourFields*>(w)->field(index);
            if (s(field->text()) != o.colour(index)) field->setText(q(o.colour(index)));
            break;
        }
    }
}

// Selecting one member clears the others without telling them: show the whole group.
void OptionWidgets::showGroup(OptionId id) {
    const Options& o = engine_.options();
    const std::string_view group = Options::def(id).group;
    for (OptionId m = 0; m < kOptionTable.size(); ++m) {
        if (m != id && (group.empty() || Options::def(m).group != group)) continue;
        auto member = widgets_.find(m);
        if (member == widgets_.end()) continue;
        QSignalBlocker quiet(member->second);
        if (auto* radio = qobject_cast<QRadioButton*>(member->second))
            radio->setChecked(o.selected(m));
        else if (auto* indexed = dynamic_cast<IndexedOptionGroup*>(member->second))
            indexed->showSelected(o.selectedIndex(m));
    }
}

void OptionWidgets::showText(OptionId id, QWidget* w) {
    const std::string& text = engine_.options().text(id);
    if (auto* box = qobject_cast<QComboBox*>(w)) {
        if (s(box->currentText()) != text) box->setEditText(q(text));
    } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        if (fromEditor(edit->toPlainText()) != text) edit->setPlainText(forEditor(text));
    } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
        if (s(line->text()) != text) line->setText(q(text));
    }
}

void OptionWidgets::fitTexts() {
    for (auto& [id, w] : widgets_) {
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            fitText(edit, edit->text());
        } else if (auto* fields = dynamic_cast<ColourFields*>(w)) {
            // As wide as the widest colour.
            for (int slot = 0; slot < ColourFields::kSlots; ++slot)
                fitText(fields->field(slot), "#DDDDDD");
        }
    }
}

}  // namespace tabulo::gui
