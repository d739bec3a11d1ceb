#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStorageInfo>
#include <QUrl>
#include <QVBoxLayout>
#include <functional>

#include "commands/Daemon.h"
#include "commands/Startup.h"
#include "common/Text.h"
#include "listing/FolderListing.h"
#include "listing/Wildcard.h"
#include "gui/FolderSelect.h"
#include "gui/Widgets.h"
#include "shell/Shell.h"

namespace tabulo::gui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string s(const QString& q) {
    return q.toStdString();
}

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

// Long paths wrap at their separators rather than widen the window.
QString breakablePath(const QString& path) {
    QString shown = path;
    return shown.replace('/', QStringLiteral("/\u200B"));
}

// Keeps its place in the layout while hidden, so showing it moves nothing else.
void keepPlaceWhenHidden(QWidget* w) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

// A line edit at least as wide as `text`, so a default value shows whole.
void fitText(QLineEdit* edit, const QString& text) {
    const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    const QMargins margins = edit->textMargins();
    const int needed = edit->fontMetrics().horizontalAdvance(text) + 2 * frame + margins.left() +
                       margins.right() + 8;  // 8: the edit's own inner margins and the cursor
    if (edit->minimumWidth() < needed) edit->setMinimumWidth(needed);
}

// A key of the theme list as the classic key codes give it: letters upper case.
int keyCodeOf(QKeyEvent* event) {
    int key = event->key();
    return key < 0x100 ? key : 0;
}

class ThemeKeyFilter : public QObject {
  public:
    ThemeKeyFilter(Engine& engine, std::function<void()> after, QObject* parent)
        : QObject(parent), engine_(engine), after_(std::move(after)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            engine_.cmbSheme_KeyDown(keyCodeOf(static_cast<QKeyEvent*>(event)));
            after_();
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    Engine& engine_;
    std::function<void()> after_;
};

}  // namespace

MainWindow::MainWindow() : engine_(std::make_unique<Engine>(*this)) {
    setObjectName("frmMain");
    setWindowTitle("Tabulo");
    setMouseTracking(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildTopArea());
    tabs_ = buildTabs();
    layout->addWidget(tabs_);
    selectedFolder_ = new QLabel(this);
    selectedFolder_->setObjectName("lblSelectedFolder");
    selectedFolder_->setToolTip("empty=start ; ?=cancelled ; path=on ok ; ");
    selectedFolder_->hide();

    engine_->options().subscribe([this](OptionId id, int index) {
        showOption(id, index);
        afterChange();
    });
    engine_->panel().subscribe([this](const std::string& control) {
        showPanelState(control);
        afterChange();
    });
    connect(&network_, &QTimer::timeout, this, [this] { engine_->pollNetwork(); });
    daemon_.setObjectName("tmrDaemon");
    connect(&daemon_, &QTimer::timeout, this, [this] {
        if (running_) return;  // the next tick comes soon enough
        running_ = true;
        DaemonPass(*engine_);
        running_ = false;
        showRunReport();
        fillLists();
    });
    network_.start(50);
    setFolder(QDir::currentPath());
    showAll();
    // The defaults show whole; longer texts typed later scroll as usual.
    for (auto& [id, w] : widgets_) {
        if (auto* edit = qobject_cast<QLineEdit*>(w)) fitText(edit, edit->text());
    }
    for (int slot = 0; slot < 9; ++slot) fitText(colourFields_->field(slot), "#DDDDDD");

    auto shortcut = [this](QKeySequence keys, auto handler) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_S), [this] { findChild<QPushButton*>("cmdSave")->click(); });
    for (QKeySequence keys : {QKeySequence(Qt::CTRL | Qt::Key_Return),
                              QKeySequence(Qt::CTRL | Qt::Key_Enter), QKeySequence(Qt::Key_F5)}) {
        shortcut(keys, [this] {
            if (goButton_->isEnabled()) goButton_->click();
        });
    }
    // Closes as the window manager's close and the application's quit do: through closeEvent,
    // which asks to save.
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::bind(std::string_view name, QWidget* parent) {
    OptionId id = Options::find(name).value();
    const OptionDef& d = Options::def(id);
    QWidget* w = nullptr;
    switch (d.kind) {
        case OptionKind::Check: {
            auto* box = new QCheckBox(parent);
            connect(box, &QCheckBox::clicked, this, [this, id, box](bool on) {
                box->setTristate(false);
                engine_->options().setCheck(id, on ? 1 : 0);
            });
            w = box;
            break;
        }
        case OptionKind::Option: {
            auto* radio = new QRadioButton(parent);
            radio->setAutoExclusive(false);
            connect(radio, &QRadioButton::clicked, this, [this, id] {
                engine_->options().select(id);
                showOption(id, -1);  // a click never clears a member
            });
            w = radio;
            break;
        }
        case OptionKind::Indexed: {
            auto* group = new IndexedOptionGroup(kIndexedCaptions.at(name), parent);
            for (std::size_t i = 0; i < group->members.size(); ++i) {
                group->members[i]->setObjectName(q(std::string(name) + "_" + std::to_string(i)));
            }
            connect(group, &IndexedOptionGroup::chosen, this, [this, id](int index) {
                engine_->options().select(id, index);
                showOption(id, -1);
            });
            w = group;
            break;
        }
        case OptionKind::Text:
            if (name == "cmbSheme") {
                auto* box = new QComboBox(parent);
                box->setEditable(true);
                box->setInsertPolicy(QComboBox::NoInsert);
                box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
                box->setMinimumContentsLength(12);
                box->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
                box->lineEdit()->installEventFilter(
                    new ThemeKeyFilter(*engine_, [this] { afterChange(); }, box));
                connect(box, &QComboBox::editTextChanged, this,
                        [this, id](const QString& t) { engine_->options().setText(id, s(t)); });
                connect(box, &QComboBox::activated, this,
                        [this](int index) {
                            engine_->cmbSheme_Click(index);
                            afterChange();
                        });
                w = box;
            } else if (name == "txtHeader" || name == "txtFooter" || name == "txtExclude") {
                auto* edit = new QPlainTextEdit(parent);
                edit->setMaximumHeight(name == "txtExclude" ? 60 : 150);
                connect(edit, &QPlainTextEdit::textChanged, this, [this, id, edit] {
                    engine_->options().setText(id, fromEditor(edit->toPlainText()));
                });
                w = edit;
            } else {
                auto* edit = new QLineEdit(parent);
                connect(edit, &QLineEdit::textEdited, this,
                        [this, id](const QString& t) { engine_->options().setText(id, s(t)); });
                if (name == "txtAboutLink") {
                    edit->installEventFilter(this);
                }
                w = edit;
            }
            break;
        case OptionKind::Caption:
            w = new QLabel(parent);
            break;
        case OptionKind::Panel: {
            auto* label = new ClickableLabel(parent);
            label->setMouseTracking(true);
            label->setFocusPolicy(Qt::StrongFocus);
            label->setAccessibleName("Show or hide the options");
            // The same frame focused or not, so moving the focus moves nothing.
            label->setStyleSheet("QLabel { border: 1px solid transparent; padding: 1px; }"
                                 "QLabel:focus { border: 1px dotted palette(highlight); }");
            connect(label, &ClickableLabel::clicked, this,
                    [this] { engine_->ToggleOptionsPanel(); });
            connect(label, &ClickableLabel::hovered, this, [this] { recOptions_->show(); });
            w = label;
            break;
        }
        case OptionKind::List:
            w = new QListWidget(parent);
            static_cast<QListWidget*>(w)->setMaximumHeight(80);
            break;
        case OptionKind::Slider: {
            Qt::Orientation orientation = kSliders.at(name);
            auto* bar = new QScrollBar(orientation, parent);
            bar->setRange(Options::def(id).low, Options::def(id).high);
            bar->setPageStep(10);
            if (orientation == Qt::Vertical) bar->setMinimumHeight(90);
            connect(bar, &QScrollBar::valueChanged, this,
                    [this, id](int v) { engine_->options().setCheck(id, v); });
            w = bar;
            break;
        }
        case OptionKind::Colours:
        case OptionKind::Tab:
            return nullptr;  // the colour fields and the tabs are built by the window
    }
    w->setObjectName(q(std::string(name)));
    widgets_[id] = w;
    return w;
}

QWidget* MainWindow::control(const QString& name, const QString& caption, QWidget* parent) {
    if (auto id = Options::find(s(name))) {
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

QWidget* MainWindow::row(std::initializer_list<std::pair<const char*, const char*>> items,
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

QWidget* MainWindow::buildTopArea() {
    auto* top = new QWidget(this);
    auto* layout = new QHBoxLayout(top);

    auto* lists = new QVBoxLayout;
    path_ = new QLabel(top);
    path_->setObjectName("lblPath");
    path_->setWordWrap(true);
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    drives_ = new QComboBox(top);
    drives_->setObjectName("Drive1");
    drives_->setAccessibleName("Drive");
    drives_->addItems(mountedVolumes());
    folders_ = new QListWidget(top);
    folders_->setObjectName("Dir1");
    folders_->setAccessibleName("Folders");
    files_ = new QListWidget(top);
    files_->setObjectName("File1");
    files_->setAccessibleName("Files");
    lists->addWidget(path_);
    lists->addWidget(drives_);
    lists->addWidget(folders_, 2);
    lists->addWidget(control("txtFilter", "File pattern", top));
    lists->addWidget(files_, 1);
    layout->addLayout(lists, 3);
    connect(drives_, &QComboBox::textActivated, this, [this](const QString& root) {
        if (!QDir(root).isReadable()) {
            QMessageBox::warning(this, "Tabulo", QString("The drive %1 is not ready.").arg(root));
            return;
        }
        setFolder(root);
    });
    connect(folders_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        QString here = q(engine_->currentFolder());
        setFolder(item->text() == ".." ? QFileInfo(here).path()
                                       : QDir(here).filePath(item->text()));
    });

    auto* right = new QVBoxLayout;
    preview_ = new PreviewWidget(*engine_, top);
    preview_->setObjectName("picPreview");
    right->addWidget(preview_, 1);
    goButton_ = new QPushButton("&Go!", top);
    goButton_->setObjectName("cmdGo");
    connect(goButton_, &QPushButton::clicked, this, [this] { go(); });
    progress_ = new QProgressBar(top);
    progress_->setObjectName("prgFolders");
    progress_->setFormat("%v of %m folders");
    keepPlaceWhenHidden(progress_);
    progress_->hide();
    right->addWidget(goButton_);
    right->addWidget(progress_);
    right->addWidget(row({{"cmbSheme", "Theme"},
                          {"cmdSave", "&Save"},
                          {"CmdDelete", "&Delete"},
                          {"cmdRandom", "Generate"}},
                         top));
    right->addWidget(row({{"cmdOpen", "&Open folder"},
                          {"cmdMakeScript", "&Write scripts"},
                          {"lblUpdate", "Tabulo site"}},
                         top));
    auto* options = row({{"lblOptions", ""}, {"lblVersion", ""}}, top);
    edited_ = new QLabel(top);
    edited_->setObjectName("lblEdited");
    options->layout()->addWidget(edited_);
    recOptions_ = new QFrame(top);
    recOptions_->setObjectName("recOptions");
    static_cast<QFrame*>(recOptions_)->setFrameShape(QFrame::Box);
    recOptions_->setFixedSize(6, 16);
    keepPlaceWhenHidden(recOptions_);
    recOptions_->hide();
    options->layout()->addWidget(recOptions_);
    right->addWidget(options);
    status_ = new QLabel(top);
    status_->setObjectName("lblStatus");
    // Three lines high whatever it says, so a run's lines never move the rest.
    status_->setWordWrap(true);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status_->setFixedHeight(3 * status_->fontMetrics().lineSpacing() + 4);
    right->addWidget(status_);
    // What the last run from here did, and its top page; hidden in their place until then.
    auto* report = new QHBoxLayout;
    runSummary_ = new QLabel(top);
    runSummary_->setObjectName("lblRunSummary");
    runSummary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    openPage_ = new QPushButton("Open &page", top);
    openPage_->setObjectName("cmdOpenPage");
    for (QWidget* w : std::initializer_list<QWidget*>{runSummary_, openPage_}) {
        keepPlaceWhenHidden(w);
        w->hide();
    }
    report->addWidget(runSummary_, 1);
    report->addWidget(openPage_);
    right->addLayout(report);
    auto* load = new QPushButton("Load", top);  // operation button outside the layout
    load->setObjectName("cmdLoad");
    load->hide();
    layout->addLayout(right, 4);

    Engine& e = *engine_;
    // Saving and deleting change the edited mark and the theme list, which no option does.
    auto on = [this](const char* name, auto handler) {
        connect(findChild<QPushButton*>(name), &QPushButton::clicked, this, [this, handler] {
            handler();
            afterChange();
        });
    };
    on("cmdSave", [&e] { e.cmdSave_Click(); });
    on("CmdDelete", [&e] { e.CmdDelete_Click(); });
    on("cmdRandom", [&e] { e.colours().GenerateRandomScheme(); });
    keepPlaceWhenHidden(findChild<QPushButton*>("cmdRandom"));  // shown only for "random"
    on("cmdOpen", [&e] { e.cmdOpen_Click(); });
    on("cmdOpenPage", [&e] { e.cmdOpenPage_Click(); });
    on("cmdMakeScript", [&e] { e.cmdMakeScript_Click(); });
    connect(findChild<ClickableLabel*>("lblUpdate"), &ClickableLabel::clicked, this,
            [&e] { e.lblUpdate_Click(s(QCoreApplication::applicationDirPath())); });
    return top;
}

QTabWidget* MainWindow::buildTabs() {
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("tabOptions");
    widgets_[opt("tabOptions")] = tabs;
    auto page = [&](const char* title) {
        auto* w = new QWidget(tabs);
        new QVBoxLayout(w);
        tabs->addTab(w, title);
        return w;
    };
    auto add = [](QWidget* tab, QWidget* w) {
        static_cast<QVBoxLayout*>(tab->layout())->addWidget(w);
    };

    QWidget* colors = page("Colors");
    add(colors, row({{"chkColor", "Colors"},
                     {"chkCss", "Stylesheet"},
                     {"optCssNew", "Write new css"},
                     {"optCssOld", "Link to old css"},
                     {"optCssEmbed", "Embedded"}},
                    colors));
    auto* frmColor = new QGroupBox(colors);
    frmColor->setObjectName("frmColor");
    auto* colorLayout = new QHBoxLayout(frmColor);
    colourFields_ = new ColourFields(frmColor);
    colourFields_->setObjectName("txtColorHex");
    widgets_[opt("txtColorHex")] = colourFields_;
    colorLayout->addWidget(colourFields_);
    mixer_ = new QWidget(frmColor);
    mixer_->setObjectName("rgbFrame");
    auto* mixerLayout = new QHBoxLayout(mixer_);
    for (const char* c : {"R", "G", "B"}) {
        auto* column = new QVBoxLayout;
        column->addWidget(control(QString("scr") + c, "", mixer_));
        auto* label = new QLabel(" 0", mixer_);
        label->setObjectName(QString("lbl") + c);
        label->setAutoFillBackground(true);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(" 255 ") + 4);
        column->addWidget(label);
        mixerLayout->addLayout(column);
    }
    mixerLayout->addWidget(control("scrBrightness", "", mixer_));
    mixerLayout->addWidget(control("cmdBrowseColor", "...", mixer_));
    keepPlaceWhenHidden(mixer_);  // parking the mixer leaves the window as it is
    colorLayout->addWidget(mixer_);
    colorLayout->addStretch();
    add(colors, frmColor);
    add(colors, row({{"chkFont", "Font:"},
                     {"txtFont", "Font family"},
                     {"cmdBrowseFont", "..."},
                     {"chkFontSize", "Size:"},
                     {"txtFontSize", "Font size"},
                     {"scrFontSize", ""}},
                    colors));
    connect(colourFields_, &ColourFields::edited, this,
            [this](int slot, const QString& t) { engine_->options().setColour(slot, s(t)); });
    connect(colourFields_, &ColourFields::clicked, this,
            [this](int slot) { engine_->colours().SelectColorSlot(slot); });
    connect(colourFields_, &ColourFields::labelClicked, this,
            [this] { engine_->colours().ParkMixer(); });
    connect(findChild<QPushButton*>("cmdBrowseColor"), &QPushButton::clicked, this,
            [this] { engine_->colours().cmdBrowseColor_Click(); });
    connect(findChild<QPushButton*>("cmdBrowseFont"), &QPushButton::clicked, this,
            [this] { engine_->colours().cmdBrowseFont_Click(); });

    QWidget* icons = page("Icons");
    add(icons, row({{"chkIcons", "Icons"}}, icons));
    auto* frmIcons = new QGroupBox(icons);
    frmIcons->setObjectName("frmIcons");
    auto* iconLayout = new QVBoxLayout(frmIcons);
    iconLayout->addWidget(row({{"chkIcons32", "Size:"},
                               {"txtIcons32", "Width x height"},
                               {"scrIconsSize", ""},
                               {"lblIconsWidth", ""}},
                              frmIcons));
    iconLayout->addWidget(row({{"optIconsRemote", "Remote (absolute)"},
                               {"chkIconsDynamic", "Dynamic"},
                               {"txtIcohref", "Icon address"}},
                              frmIcons));
    iconLayout->addWidget(row({{"optIconsLocal", "Local (relative)"},
                               {"txtIconsLocal", "Icon path"},
                               {"lblWWWroot", ""},
                               {"cmdBrowseIconPath", "..."}},
                              frmIcons));
    iconLayout->addWidget(row(
        {{"chkIconsDownloaded", "Download new icons from:"}, {"txtIcohrefDl", "Download address"}},
        frmIcons));
    iconLayout->addWidget(
        row({{"chkProxy", "Proxy  (to dl icons) :"}, {"txtProxy", "host:port"}}, frmIcons));
    add(icons, frmIcons);
    connect(findChild<QPushButton*>("cmdBrowseIconPath"), &QPushButton::clicked, this,
            [this] { engine_->cmdBrowseIconPath_Click(); });

    QWidget* text = page("Text ");
    add(text, row({{"chkHeading", "Heading:"},
                   {"txtHeading", "Heading"},
                   {":", "Title:"},
                   {"txtTitle", "Title"},
                   {"chkWindowsStyle", "Windows style title"}},
                  text));
    add(text, row({{"chkCenter", "Center"},
                   {"chkW3c", "W3C compatible"},
                   {"chkUtf", "Escape links fully"},
                   {"chkReplaceOlda", "Confirm replace"},
                   {"chkLenght", "Cut names at:"},
                   {"txtLenght", "Length"}},
                  text));
    add(text, row({{":", "Page:"},
                   {"txtIndexHtm", "Page name"},
                   {":", "Stylesheet:"},
                   {"txtIndexCss", "Stylesheet"}},
                  text));
    add(text, row({{"chkColuSize", "Size"},
                   {"chkColuTime", "Time"},
                   {"chkColuDesc", "Comment"},
                   {"chkColuHash", "Hash"},
                   {"optFile", "File"},
                   {"optHash", "Hash"}},
                  text));
    add(text, row({{"chkTable", "Table view"},
                   {"chkBorder", "Border:"},
                   {"txtBorder", "Border"},
                   {"chkCellSpace", "Spacing:"},
                   {"txtCellspace", "Cell spacing"},
                   {"chkCellPad", "Padding:"},
                   {"txtCellpad", "Cell padding"},
                   {"chkDouble", "Inner:"},
                   {"txtDouble", "Inner colour"}},
                  text));
    add(text, row({{":", "Page style:"},
                   {"optPageClassic", "Classic"},
                   {"optPageModern", "Modern (HTML5, sorting, filter, README)"},
                   {"chkJsonListing", "JSON listing beside each page"}},
                  text));

    QWidget* headFoot = page("Head/Foot");
    add(headFoot, row({{"chkHeader", "Header code"}}, headFoot));
    add(headFoot, control("txtHeader", "Header code", headFoot));
    add(headFoot, row({{"chkFooter", "Footer code"}}, headFoot));
    add(headFoot, control("txtFooter", "Footer code", headFoot));

    QWidget* protocol = page("Protocol");
    add(protocol, row({{"optProtocol", ""},
                       {"optProtocolCustom", "Custom:"},
                       {"txtProtocolCustom", "Protocol"}},
                      protocol));
    add(protocol, row({{"chkDeamon", "Run as Daemon on Minimize and indexilize wwwroot every :"},
                       {"txtDaemon", "Seconds"},
                       {":", "seconds."}},
                      protocol));
    auto* moreCaption = new QLabel("Indexilize the following paths too :", protocol);
    add(protocol, moreCaption);
    QWidget* more = control("lstDeamonMore", "", protocol);
    moreCaption->setBuddy(more);
    add(protocol, more);
    add(protocol, row({{"cmdBrowseMoreWWW", "add"}, {"cmdRemoveMoreWWW", "remove"}}, protocol));
    connect(findChild<QPushButton*>("cmdBrowseMoreWWW"), &QPushButton::clicked, this,
            [this] { engine_->cmdBrowseMoreWWW_Click(); });
    connect(findChild<QPushButton*>("cmdRemoveMoreWWW"), &QPushButton::clicked, this, [this] {
        engine_->cmdRemoveMoreWWW_Click(
            static_cast<QListWidget*>(widgets_[opt("lstDeamonMore")])->currentRow());
    });

    QWidget* files = page("Files");
    add(files, row({{"chkCaptureDesc", "Description:"},
                    {"txtCapDesc", "Description file"},
                    {"cmdBrowseDesc", "..."},
                    {"chkPre", "Preformatted"},
                    {"chkTT", "Typewriter"}},
                   files));
    add(files, row({{"chkGlobalDesc", "Global description:"}, {"lblGlobalDesc", ""}}, files));
    add(files, row({{"chkCaptureSnap", "Picture:"},
                    {"txtCapSnap", "Picture file"},
                    {"chkThumb", "Thumbnail"},
                    {"chkBackground", "As background"},
                    {"chkGlobalPicture", "Global picture"}},
                   files));
    add(files, row({{"chkCaptureMidi", "Music:"},
                    {"txtCapMidi", "Music file"},
                    {"chkGlobalMidi", "Global music"},
                    {"chkMidiLoop", "Loop:"},
                    {"txtMidiLoop", "Loops"}},
                   files));
    add(files, row({{"chkSumSize", "Totals"}, {"optAuto", "Auto"}, {"optFileSize", ""}}, files));
    add(files, row({{":", "Size test:"}, {"txtZtestSize", "Bytes"}, {"lblZtestSIze", ""}}, files));
    connect(findChild<QPushButton*>("cmdBrowseDesc"), &QPushButton::clicked, this,
            [this] { engine_->cmdBrowseDesc_Click(); });

    QWidget* paths = page("Paths");
    add(paths, row({{"optCurrentDir", "To the target Folder"},
                    {"optAllInOneFile", "All in one File"},
                    {"optAllInOneFolder", "All in one Folder :"},
                    {"lblAllInOneFolder", ""},
                    {"cmdBrowseAllInOneFolder", "..."}},
                   paths));
    add(paths, row({{"chkAllInOneFile", "One file"},
                    {"chkAllInOneFolder", "One folder"},
                    {":", "Prefix:"},
                    {"txtIndexOf", "Page name prefix"},
                    {":", "Separator:"},
                    {"txtReplaceIndexs", "Separator"}},
                   paths));
    add(paths,
        row({{"chkPreLink", "Link prefix:"}, {"txtPreLink", "Prefix of file links"}}, paths));
    add(paths, row({{"chkReqrsive", "Recursive"},
                    {"chkAlowExit", "Allow (..) in subs"},
                    {"chkForceCdUp", "Force (..) in root"}},
                   paths));
    add(paths, row({{":", "www root:"},
                    {"txtWWWroot", "www root"},
                    {"cmdLockWWWRoot", "Lock as www root"},
                    {"cmdUnlock", "Unlock"},
                    {"txtWWWRootDepth", "Depth"}},
                   paths));
    connect(findChild<QPushButton*>("cmdBrowseAllInOneFolder"), &QPushButton::clicked, this,
            [this] { engine_->cmdBrowseAllInOneFolder_Click(); });
    connect(findChild<QPushButton*>("cmdLockWWWRoot"), &QPushButton::clicked, this,
            [this] { engine_->cmdLockWWWRoot_Click(); });
    connect(findChild<QPushButton*>("cmdUnlock"), &QPushButton::clicked, this,
            [this] { engine_->cmdUnlock_Click(); });

    QWidget* misc = page("Misc");
    add(misc, row({{"chkUpload", "Embed Upload form"},
                   {"chkUploadScript", "Write scripts:"},
                   {"optCgi", "cgi"},
                   {"optPhp", "php"},
                   {"chkCgiFilter", "Filter above is active in scripts too"}},
                  misc));
    add(misc, row({{":", "Upload folder:"},
                   {"txtUploadDirectory", "Upload folder"},
                   {":", "Scripts:"},
                   {"txtIndexScript", "Index script"},
                   {"txtUploadScript", "Upload script"}},
                  misc));
    add(misc, row({{"optExtention", "Extension"},
                   {"optGlobal", "Global comment:"},
                   {"optMimeReg", "Mime from registry"},
                   {"txtComment", "Comment"}},
                  misc));
    add(misc, row({{"chkExcludeExts", "Exclude:"}}, misc));
    add(misc, control("txtExclude", "Exclude patterns", misc));
    add(misc, row({{"optExten", "Type"},
                   {"optName", "Name"},
                   {"optDate", "Date"},
                   {"optSize", "Size"},
                   {"chkInverseSortorder", "Inverse"},
                   {"chkAutoSave", "Autosave"},
                   {"chkDebug", "Debug"},
                   {"chkView", "View when done"}},
                  misc));

    QWidget* about = page("About");
    add(about, row({{"chkAbout", "About line"},
                    {"chkAboutGenWith", "Generated with Tabulo"},
                    {"chkAboutCredits", "Credits to:"},
                    {"txtAboutNick", "Nickname"},
                    {"txtAboutLink", "Link"}},
                   about));
    add(about, row({{"chkAboutDate", "Date"},
                    {"chkMetaStyle", "Remove meta style info"},
                    {"lblTabulo2", "tabulo site"}},
                   about));
    connect(findChild<ClickableLabel*>("lblTabulo2"), &ClickableLabel::clicked, this,
            [this] { engine_->lblUpdate_Click(s(QCoreApplication::applicationDirPath())); });
    for (int i = 0; i < tabs->count(); ++i)
        static_cast<QVBoxLayout*>(tabs->widget(i)->layout())->addStretch();

    connect(tabs, &QTabWidget::currentChanged, this,
            [this](int index) { engine_->options().setTab(index); });
    return tabs;
}

void MainWindow::showOption(OptionId id, int index) {
    if (id == opt("txtColorHex")) {
        const std::string& text = engine_->options().colour(index);
        QLineEdit* field = colourFields_->field(index);
        if (s(field->text()) != text) field->setText(q(text));
        return;
    }
    auto it = widgets_.find(id);
    if (it == widgets_.end()) return;
    QWidget* w = it->second;
    const Options& o = engine_->options();
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
            // Selecting one member clears the others without telling them: show the group.
            for (OptionId m = 0; m < kOptionTable.size(); ++m) {
                const std::string_view group = Options::def(id).group;
                if (m != id && (group.empty() || Options::def(m).group != group)) continue;
                auto member = widgets_.find(m);
                if (member == widgets_.end()) continue;
                QSignalBlocker quiet(member->second);
                if (auto* radio = qobject_cast<QRadioButton*>(member->second))
                    radio->setChecked(o.selected(m));
                else if (auto* indexed = dynamic_cast<IndexedOptionGroup*>(member->second))
                    indexed->showSelected(o.selectedIndex(m));
            }
            break;
        case OptionKind::Text:
            if (auto* box = qobject_cast<QComboBox*>(w)) {
                if (s(box->currentText()) != o.text(id)) box->setEditText(q(o.text(id)));
            } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
                if (fromEditor(edit->toPlainText()) != o.text(id))
                    edit->setPlainText(forEditor(o.text(id)));
            } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
                if (s(line->text()) != o.text(id)) line->setText(q(o.text(id)));
            }
            if (id == opt("txtFilter")) fillLists();
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
        case OptionKind::Colours:
            break;
    }
}

void MainWindow::showPanelState(const std::string& name) {
    const Panel& panel = engine_->panel();
    if (name == "frmMain") {
        tabs_->setVisible(panel.clientHeight() == Panel::kLineBottom);
        adjustSize();
        return;
    }
    if (name == "rgbFrame") {
        mixer_->setVisible(panel.mixerTop() < Panel::kLineBottom);  // parked: out of view
        return;
    }
    if (name == "cmdLoad") {
        findChild<QPushButton*>("cmdLoad")->setText(q(panel.caption("cmdLoad")));
        return;
    }
    if (name == "lblZtestSIze") {
        findChild<QLabel*>("lblZtestSIze")->setText(q(panel.caption(name)));
        return;
    }
    QWidget* w = findChild<QWidget*>(q(name));
    if (!w) return;
    w->setEnabled(panel.enabled(name));
    if (const std::string& reason = panel.heldReason(name); !reason.empty()) w->setToolTip(q(reason));
    // Visibility applies once the window shows; hidden controls stay hidden before that.
    if (!panel.visible(name)) {
        w->hide();
    } else if (w->isHidden()) {
        w->show();
    }
}

void MainWindow::showAll() {
    for (OptionId id = 0; id < kOptionTable.size(); ++id) {
        if (Options::def(id).kind == OptionKind::Colours) {
            for (int i = 0; i < 9; ++i) showOption(id, i);
        } else {
            showOption(id, -1);
        }
    }
    for (const std::string& name : engine_->panel().controls()) showPanelState(name);
    showPanelState("frmMain");
    showPanelState("rgbFrame");
    afterChange();
}

// Captions, field colours and the preview follow once the current change has settled.
void MainWindow::afterChange() {
    if (afterChangeQueued_) return;
    afterChangeQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        afterChangeQueued_ = false;
        edited_->setText(q(engine_->options().editedMark()));
        for (int i = 0; i < 9; ++i) colourFields_->paint(i, engine_->colours().field(i));
        for (int c = 0; c < 3; ++c) {
            const auto& l = engine_->colours().label(c);
            auto* label = findChild<QLabel*>(QString("lbl") + "RGB"[c]);
            label->setText(q(l.caption));
            QPalette palette = label->palette();
            palette.setColor(QPalette::Window, QColor::fromRgb(l.background));
            palette.setColor(QPalette::WindowText, QColor::fromRgb(l.text));
            label->setPalette(palette);
        }
        auto* box = static_cast<QComboBox*>(widgets_[opt("cmbSheme")]);
        QStringList names;
        for (const auto& n : engine_->themeList()) names << q(n);
        QStringList shown;
        for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
        if (names != shown) {
            QSignalBlocker block(box);
            QString text = box->currentText();
            box->clear();
            box->addItems(names);
            box->setEditText(text);
        }
        if (engine_->currentFolder() != shownFolder_) fillLists();
        if (engine_->previewVersion() != shownPreview_) {
            shownPreview_ = engine_->previewVersion();
            preview_->update();
        }
    });
}

void MainWindow::setFolder(const QString& path) {
    engine_->setCurrentFolder(s(QDir::cleanPath(path)));
    fillLists();
}

void MainWindow::fillLists() {
    if (!folders_) return;
    folders_->clear();
    files_->clear();
    const std::string folder = engine_->currentFolder();
    shownFolder_ = folder;
    if (folder != "/") folders_->addItem("..");
    try {
        FolderListing listing =
            readFolder(folder, Wildcard(engine_->options().text(opt("txtFilter"))));
        for (const auto& sub : listing.folders) folders_->addItem(q(sub.name));
        for (const auto& file : listing.files) files_->addItem(q(file.name));
    } catch (const std::system_error&) {
        // An unreadable folder shows empty lists.
    }
    folders_->setToolTip(q(folder));
    path_->setText(breakablePath(q(folder)));
    path_->setToolTip(q(folder));
    setWindowTitle("Tabulo - " + q(folder));
    const QString mount = QStorageInfo(q(folder)).rootPath();
    if (!mount.isEmpty()) {
        if (drives_->findText(mount) < 0) drives_->addItem(mount);
        QSignalBlocker quiet(drives_);
        drives_->setCurrentIndex(drives_->findText(mount));
    }
}

// The daemon works only while the window is minimised and the option asks for it.
void MainWindow::updateDaemon() {
    if (isMinimized() && engine_->options().on(opt("chkDeamon"))) {
        int ms = DaemonSeconds(engine_->options()) * 1000;
        if (!daemon_.isActive() || daemon_.interval() != ms) daemon_.start(ms);
    } else {
        daemon_.stop();
    }
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) updateDaemon();
    QWidget::changeEvent(event);
}

void MainWindow::go() {
    // One run at a time, and its options stay as they were when it began, though the window
    // stays responsive.
    if (running_ || !ConfirmLargeRun(*engine_)) return;
    running_ = true;
    RememberFolder(engine_->currentFolder());
    std::vector<QWidget*> held{goButton_, tabs_, widgets_.at(opt("cmbSheme")), folders_, drives_};
    for (QWidget* w : held) w->setEnabled(false);
    progress_->setRange(0, 0);  // busy until the walk reports what it found
    progress_->setFormat("%v of %m folders");
    progress_->show();
    runSummary_->hide();  // the last run's report goes with the run that replaces it
    openPage_->hide();
    engine_->cmdGo_Click();
    running_ = false;
    progress_->hide();
    for (QWidget* w : held) w->setEnabled(true);
    showRunReport();
    fillLists();
}

void MainWindow::showRunReport() {
    const auto& report = engine_->lastRunReport();
    runSummary_->setText(report ? q(report->text) : QString());
    runSummary_->setToolTip(report ? q(report->page) : QString());
    runSummary_->setVisible(report.has_value());
    openPage_->setVisible(report.has_value());
}

bool MainWindow::startUp(const QString& commandLine, const QString& executable) {
    RegisterContextMenu(*engine_, s(executable));
    auto outcome = Form_Activate(*engine_, s(commandLine),
                                 commandLine.isEmpty() ? StartMode::Window : StartMode::Tool);
    fillLists();
    if (outcome.quit) engine_->finishPendingEvents();
    return outcome.quit;
}

void MainWindow::status(const std::string& text) {
    if (!status_) return;
    status_->setText(q(text));
    status_->setToolTip(q(text));
}

void MainWindow::progress(int done, int found) {
    progress_->setRange(0, found);
    progress_->setValue(done);
}

void MainWindow::hashed(std::uint64_t bytes) {
    progress_->setFormat(QString("%v of %m folders, %1 MB hashed").arg(bytes / (1024 * 1024)));
}

Answer MainWindow::ask(const std::string& text, const std::string& title, Buttons buttons) {
    QMessageBox box(this);
    box.setWindowTitle(q(title));
    box.setText(q(text));
    if (buttons == Buttons::Ok) {
        box.setIcon(title == "Winsock Error" ? QMessageBox::Warning : QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return Answer::Yes;
    }
    box.setIcon(QMessageBox::Question);
    QMessageBox::StandardButtons choices = QMessageBox::Yes | QMessageBox::No;
    if (buttons != Buttons::YesNo) choices |= QMessageBox::Cancel;
    if (buttons == Buttons::YesNoAllCancel) choices |= QMessageBox::YesToAll | QMessageBox::NoToAll;
    box.setStandardButtons(choices);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::YesToAll:
            return Answer::YesToAll;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::NoToAll:
            return Answer::NoToAll;
        default:
            return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

void MainWindow::processEvents() {
    QCoreApplication::processEvents();
}

void MainWindow::openInShell(const std::string& target, const std::string&) {
    QString t = q(target);
    QUrl url = t.contains("://") || t.startsWith("mailto:") ? QUrl(t) : QUrl::fromLocalFile(t);
    QDesktopServices::openUrl(url);  // a failure stays silent
}

std::optional<std::string> MainWindow::chooseFolder(const std::string& start) {
    selectedFolder_->setText("?");
    FolderSelect chooser(q(start), this);
    if (chooser.exec() == QDialog::Accepted && !chooser.chosen().isEmpty()) {
        selectedFolder_->setText(chooser.chosen());
    }
    QString marker = selectedFolder_->text();
    if (marker.isEmpty() || marker == "?") return std::nullopt;
    return s(marker);
}

std::optional<std::uint32_t> MainWindow::chooseColor(std::uint32_t initial) {
    QColor colour = QColorDialog::getColor(
        QColor(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF), this);
    if (!colour.isValid()) return std::nullopt;
    return static_cast<std::uint32_t>(colour.red() | colour.green() << 8 | colour.blue() << 16);
}

std::optional<Host::Font> MainWindow::chooseFont(const Font& initial) {
    bool ok = false;
    QFont font =
        QFontDialog::getFont(&ok, QFont(q(initial.family), static_cast<int>(initial.size)), this);
    if (!ok) return std::nullopt;
    return Font{s(font.family()), static_cast<float>(font.pointSizeF())};
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (engine_->Form_Unload()) {
        RememberFolder(engine_->currentFolder());
        event->accept();
    } else {
        event->ignore();
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && watched == widgets_[opt("txtAboutLink")]) {
        engine_->txtAboutLink_DblClick();
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    recOptions_->hide();
    QWidget::mouseMoveEvent(event);
}

}  // namespace tabulo::gui
