#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDialog>
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
#include "gui/OptionTabs.h"
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
    tabs_ = buildOptionTabs(widgets_, *engine_, this);
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
    onClick(top, "lblUpdate", [&e] { openTabuloSite(e); });
    return top;
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
    if (name == "rgbFrame") {  // parked: out of view
        findChild<QWidget*>("rgbFrame")->setVisible(panel.mixerTop() < Panel::kLineBottom);
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
        showColours(*engine_, this);
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
