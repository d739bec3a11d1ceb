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
#include <QShortcut>
#include <QStorageInfo>
#include <QUrl>
#include <QVBoxLayout>

#include "commands/Daemon.h"
#include "commands/Startup.h"
#include "listing/FolderListing.h"
#include "listing/Wildcard.h"
#include "gui/FolderSelect.h"
#include "gui/QtStrings.h"
#include "gui/Widgets.h"
#include "shell/Shell.h"

namespace tabulo::gui {

namespace {

// Long paths wrap at their separators rather than widen the window.
QString breakablePath(const QString& path) {
    QString shown = path;
    return shown.replace('/', QStringLiteral("/\u200B"));
}

// A key of the theme list as the classic key codes give it: letters upper case.
int keyCodeOf(QKeyEvent* event) {
    int key = event->key();
    return key < 0x100 ? key : 0;
}

}  // namespace

MainWindow::MainWindow() : engine_(std::make_unique<Engine>(*this)), widgets_(*engine_, this) {
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
    widgets_.fitTexts();  // the defaults show whole; longer texts typed later scroll as usual

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
    lists->addWidget(widgets_.control("txtFilter", "File pattern", top));
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
    right->addWidget(widgets_.row({{"cmbSheme", "Theme"},
                                   {"cmdSave", "&Save"},
                                   {"CmdDelete", "&Delete"},
                                   {"cmdRandom", "Generate"}},
                                  top));
    auto* themes = static_cast<QComboBox*>(widgets_.at(opt("cmbSheme")));
    onEvent(themes->lineEdit(), QEvent::KeyPress, [this](QEvent* event) {
        engine_->cmbSheme_KeyDown(keyCodeOf(static_cast<QKeyEvent*>(event)));
        afterChange();
    });
    connect(themes, &QComboBox::activated, this, [this](int index) {
        engine_->cmbSheme_Click(index);
        afterChange();
    });
    right->addWidget(widgets_.row({{"cmdOpen", "&Open folder"},
                                   {"cmdMakeScript", "&Write scripts"},
                                   {"lblUpdate", "Tabulo site"}},
                                  top));
    auto* options = widgets_.row({{"lblOptions", ""}, {"lblVersion", ""}}, top);
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
    connect(static_cast<ClickableLabel*>(widgets_.at(opt("lblOptions"))), &ClickableLabel::hovered,
            this, [this] { recOptions_->show(); });
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
    widgets_.adopt(opt("tabOptions"), tabs);
    auto page = [&](const char* title) {
        auto* w = new QWidget(tabs);
        new QVBoxLayout(w);
        tabs->addTab(w, title);
        return w;
    };
    auto add = [](QWidget* page, QWidget* w) {
        static_cast<QVBoxLayout*>(page->layout())->addWidget(w);
    };

    QWidget* colors = page("Colors");
    add(colors, widgets_.row({{"chkColor", "Colors"},
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
    widgets_.adopt(opt("txtColorHex"), colourFields_);
    colorLayout->addWidget(colourFields_);
    mixer_ = new QWidget(frmColor);
    mixer_->setObjectName("rgbFrame");
    auto* mixerLayout = new QHBoxLayout(mixer_);
    for (const char* c : {"R", "G", "B"}) {
        auto* column = new QVBoxLayout;
        column->addWidget(widgets_.control(QString("scr") + c, "", mixer_));
        auto* label = new QLabel(" 0", mixer_);
        label->setObjectName(QString("lbl") + c);
        label->setAutoFillBackground(true);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(" 255 ") + 4);
        column->addWidget(label);
        mixerLayout->addLayout(column);
    }
    mixerLayout->addWidget(widgets_.control("scrBrightness", "", mixer_));
    mixerLayout->addWidget(widgets_.control("cmdBrowseColor", "...", mixer_));
    keepPlaceWhenHidden(mixer_);  // parking the mixer leaves the window as it is
    colorLayout->addWidget(mixer_);
    colorLayout->addStretch();
    add(colors, frmColor);
    add(colors, widgets_.row({{"chkFont", "Font:"},
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
    add(icons, widgets_.row({{"chkIcons", "Icons"}}, icons));
    auto* frmIcons = new QGroupBox(icons);
    frmIcons->setObjectName("frmIcons");
    auto* iconLayout = new QVBoxLayout(frmIcons);
    iconLayout->addWidget(widgets_.row({{"chkIcons32", "Size:"},
                                        {"txtIcons32", "Width x height"},
                                        {"scrIconsSize", ""},
                                        {"lblIconsWidth", ""}},
                                       frmIcons));
    iconLayout->addWidget(widgets_.row({{"optIconsRemote", "Remote (absolute)"},
                                        {"chkIconsDynamic", "Dynamic"},
                                        {"txtIcohref", "Icon address"}},
                                       frmIcons));
    iconLayout->addWidget(widgets_.row({{"optIconsLocal", "Local (relative)"},
                                        {"txtIconsLocal", "Icon path"},
                                        {"lblWWWroot", ""},
                                        {"cmdBrowseIconPath", "..."}},
                                       frmIcons));
    iconLayout->addWidget(widgets_.row(
        {{"chkIconsDownloaded", "Download new icons from:"}, {"txtIcohrefDl", "Download address"}},
        frmIcons));
    iconLayout->addWidget(
        widgets_.row({{"chkProxy", "Proxy  (to dl icons) :"}, {"txtProxy", "host:port"}}, frmIcons));
    add(icons, frmIcons);
    connect(findChild<QPushButton*>("cmdBrowseIconPath"), &QPushButton::clicked, this,
            [this] { engine_->cmdBrowseIconPath_Click(); });

    QWidget* text = page("Text ");
    add(text, widgets_.row({{"chkHeading", "Heading:"},
                            {"txtHeading", "Heading"},
                            {":", "Title:"},
                            {"txtTitle", "Title"},
                            {"chkWindowsStyle", "Windows style title"}},
                           text));
    add(text, widgets_.row({{"chkCenter", "Center"},
                            {"chkW3c", "W3C compatible"},
                            {"chkUtf", "Escape links fully"},
                            {"chkReplaceOlda", "Confirm replace"},
                            {"chkLenght", "Cut names at:"},
                            {"txtLenght", "Length"}},
                           text));
    add(text, widgets_.row({{":", "Page:"},
                            {"txtIndexHtm", "Page name"},
                            {":", "Stylesheet:"},
                            {"txtIndexCss", "Stylesheet"}},
                           text));
    add(text, widgets_.row({{"chkColuSize", "Size"},
                            {"chkColuTime", "Time"},
                            {"chkColuDesc", "Comment"},
                            {"chkColuHash", "Hash"},
                            {"optFile", "File"},
                            {"optHash", "Hash"}},
                           text));
    add(text, widgets_.row({{"chkTable", "Table view"},
                            {"chkBorder", "Border:"},
                            {"txtBorder", "Border"},
                            {"chkCellSpace", "Spacing:"},
                            {"txtCellspace", "Cell spacing"},
                            {"chkCellPad", "Padding:"},
                            {"txtCellpad", "Cell padding"},
                            {"chkDouble", "Inner:"},
                            {"txtDouble", "Inner colour"}},
                           text));
    add(text, widgets_.row({{":", "Page style:"},
                            {"optPageClassic", "Classic"},
                            {"optPageModern", "Modern (HTML5, sorting, filter, README)"},
                            {"chkJsonListing", "JSON listing beside each page"}},
                           text));

    QWidget* headFoot = page("Head/Foot");
    add(headFoot, widgets_.row({{"chkHeader", "Header code"}}, headFoot));
    add(headFoot, widgets_.control("txtHeader", "Header code", headFoot));
    add(headFoot, widgets_.row({{"chkFooter", "Footer code"}}, headFoot));
    add(headFoot, widgets_.control("txtFooter", "Footer code", headFoot));

    QWidget* protocol = page("Protocol");
    add(protocol, widgets_.row({{"optProtocol", ""},
                                {"optProtocolCustom", "Custom:"},
                                {"txtProtocolCustom", "Protocol"}},
                               protocol));
    add(protocol, widgets_.row({{"chkDeamon", "Run as Daemon on Minimize and indexilize wwwroot every :"},
                                {"txtDaemon", "Seconds"},
                                {":", "seconds."}},
                               protocol));
    auto* moreCaption = new QLabel("Indexilize the following paths too :", protocol);
    add(protocol, moreCaption);
    QWidget* more = widgets_.control("lstDeamonMore", "", protocol);
    moreCaption->setBuddy(more);
    add(protocol, more);
    add(protocol, widgets_.row({{"cmdBrowseMoreWWW", "add"}, {"cmdRemoveMoreWWW", "remove"}}, protocol));
    connect(findChild<QPushButton*>("cmdBrowseMoreWWW"), &QPushButton::clicked, this,
            [this] { engine_->cmdBrowseMoreWWW_Click(); });
    connect(findChild<QPushButton*>("cmdRemoveMoreWWW"), &QPushButton::clicked, this, [this] {
        engine_->cmdRemoveMoreWWW_Click(
            static_cast<QListWidget*>(widgets_.at(opt("lstDeamonMore")))->currentRow());
    });

    QWidget* files = page("Files");
    add(files, widgets_.row({{"chkCaptureDesc", "Description:"},
                             {"txtCapDesc", "Description file"},
                             {"cmdBrowseDesc", "..."},
                             {"chkPre", "Preformatted"},
                             {"chkTT", "Typewriter"}},
                            files));
    add(files, widgets_.row({{"chkGlobalDesc", "Global description:"}, {"lblGlobalDesc", ""}}, files));
    add(files, widgets_.row({{"chkCaptureSnap", "Picture:"},
                             {"txtCapSnap", "Picture file"},
                             {"chkThumb", "Thumbnail"},
                             {"chkBackground", "As background"},
                             {"chkGlobalPicture", "Global picture"}},
                            files));
    add(files, widgets_.row({{"chkCaptureMidi", "Music:"},
                             {"txtCapMidi", "Music file"},
                             {"chkGlobalMidi", "Global music"},
                             {"chkMidiLoop", "Loop:"},
                             {"txtMidiLoop", "Loops"}},
                            files));
    add(files, widgets_.row({{"chkSumSize", "Totals"}, {"optAuto", "Auto"}, {"optFileSize", ""}}, files));
    add(files, widgets_.row({{":", "Size test:"}, {"txtZtestSize", "Bytes"}, {"lblZtestSIze", ""}}, files));
    connect(findChild<QPushButton*>("cmdBrowseDesc"), &QPushButton::clicked, this,
            [this] { engine_->cmdBrowseDesc_Click(); });

    QWidget* paths = page("Paths");
    add(paths, widgets_.row({{"optCurrentDir", "To the target Folder"},
                             {"optAllInOneFile", "All in one File"},
                             {"optAllInOneFolder", "All in one Folder :"},
                             {"lblAllInOneFolder", ""},
                             {"cmdBrowseAllInOneFolder", "..."}},
                            paths));
    add(paths, widgets_.row({{"chkAllInOneFile", "One file"},
                             {"chkAllInOneFolder", "One folder"},
                             {":", "Prefix:"},
                             {"txtIndexOf", "Page name prefix"},
                             {":", "Separator:"},
                             {"txtReplaceIndexs", "Separator"}},
                            paths));
    add(paths,
        widgets_.row({{"chkPreLink", "Link prefix:"}, {"txtPreLink", "Prefix of file links"}}, paths));
    add(paths, widgets_.row({{"chkReqrsive", "Recursive"},
                             {"chkAlowExit", "Allow (..) in subs"},
                             {"chkForceCdUp", "Force (..) in root"}},
                            paths));
    add(paths, widgets_.row({{":", "www root:"},
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
    add(misc, widgets_.row({{"chkUpload", "Embed Upload form"},
                            {"chkUploadScript", "Write scripts:"},
                            {"optCgi", "cgi"},
                            {"optPhp", "php"},
                            {"chkCgiFilter", "Filter above is active in scripts too"}},
                           misc));
    add(misc, widgets_.row({{":", "Upload folder:"},
                            {"txtUploadDirectory", "Upload folder"},
                            {":", "Scripts:"},
                            {"txtIndexScript", "Index script"},
                            {"txtUploadScript", "Upload script"}},
                           misc));
    add(misc, widgets_.row({{"optExtention", "Extension"},
                            {"optGlobal", "Global comment:"},
                            {"optMimeReg", "Mime from registry"},
                            {"txtComment", "Comment"}},
                           misc));
    add(misc, widgets_.row({{"chkExcludeExts", "Exclude:"}}, misc));
    add(misc, widgets_.control("txtExclude", "Exclude patterns", misc));
    add(misc, widgets_.row({{"optExten", "Type"},
                            {"optName", "Name"},
                            {"optDate", "Date"},
                            {"optSize", "Size"},
                            {"chkInverseSortorder", "Inverse"},
                            {"chkAutoSave", "Autosave"},
                            {"chkDebug", "Debug"},
                            {"chkView", "View when done"}},
                           misc));

    QWidget* about = page("About");
    add(about, widgets_.row({{"chkAbout", "About line"},
                             {"chkAboutGenWith", "Generated with Tabulo"},
                             {"chkAboutCredits", "Credits to:"},
                             {"txtAboutNick", "Nickname"},
                             {"txtAboutLink", "Link"}},
                            about));
    add(about, widgets_.row({{"chkAboutDate", "Date"},
                             {"chkMetaStyle", "Remove meta style info"},
                             {"lblTabulo2", "tabulo site"}},
                            about));
    onEvent(widgets_.at(opt("txtAboutLink")), QEvent::MouseButtonDblClick,
            [this](QEvent*) { engine_->txtAboutLink_DblClick(); });
    connect(findChild<ClickableLabel*>("lblTabulo2"), &ClickableLabel::clicked, this,
            [this] { engine_->lblUpdate_Click(s(QCoreApplication::applicationDirPath())); });
    for (int i = 0; i < tabs->count(); ++i)
        static_cast<QVBoxLayout*>(tabs->widget(i)->layout())->addStretch();

    connect(tabs, &QTabWidget::currentChanged, this,
            [this](int index) { engine_->options().setTab(index); });
    return tabs;
}

void MainWindow::showOption(OptionId id, int index) {
    widgets_.show(id, index);
    if (id == opt("txtFilter")) fillLists();
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
            for (int i = 0; i < ColourFields::kSlots; ++i) showOption(id, i);
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
        for (int i = 0; i < ColourFields::kSlots; ++i) colourFields_->paint(i, engine_->colours().field(i));
        for (int c = 0; c < 3; ++c) {
            const auto& l = engine_->colours().label(c);
            auto* label = findChild<QLabel*>(QString("lbl") + "RGB"[c]);
            label->setText(q(l.caption));
            QPalette palette = label->palette();
            palette.setColor(QPalette::Window, QColor::fromRgb(l.background));
            palette.setColor(QPalette::WindowText, QColor::fromRgb(l.text));
            label->setPalette(palette);
        }
        auto* box = static_cast<QComboBox*>(widgets_.at(opt("cmbSheme")));
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

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    recOptions_->hide();
    QWidget::mouseMoveEvent(event);
}

}  // namespace tabulo::gui
