#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "commands/Daemon.h"
#include "commands/Startup.h"
#include "commands/ThemeCommands.h"
#include "gui/Dialogs.h"
#include "gui/FolderSelect.h"
#include "gui/OptionTabs.h"
#include "gui/QtStrings.h"
#include "gui/Shortcuts.h"
#include "gui/ThemeRow.h"
#include "gui/Widgets.h"
#include "shell/Shell.h"

namespace tabulo::gui {

MainWindow::MainWindow()
    : engine_(std::make_unique<Engine>(*this)), widgets_(*engine_, this), lists_(*engine_, this) {
    setObjectName("frmMain");
    // Someone is at the window: before a tree is first published, they hear what it exposes.
    engine_->auditBeforeFirstRun = true;
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
        lists_.fill();
    });
    network_.start(50);
    lists_.setFolder(QDir::currentPath());
    showAll();
    widgets_.fitTexts();  // the defaults show whole; longer texts typed later scroll as usual
    addShortcuts(this);
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::buildTopArea() {
    auto* top = new QWidget(this);
    auto* layout = new QHBoxLayout(top);
    layout->addLayout(lists_.build(top, widgets_), 3);

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
    right->addWidget(buildThemeRow(widgets_, *engine_, [this] { afterChange(); }, top));
    right->addWidget(widgets_.row({{"cmdOpen", "&Open folder"},
                                   {"cmdMakeScript", "&Write scripts"},
                                   {"lblUpdate", "Tabulo site"}},
                                  top));
    right->addWidget(buildOptionsLine(top));
    statusArea_.build(right, top);
    auto* load = new QPushButton("Load", top);  // operation button outside the layout
    load->setObjectName("cmdLoad");
    load->hide();
    layout->addLayout(right, 4);

    Engine& e = *engine_;
    // What these do may show beyond their options: the window catches up after each.
    auto on = [this, top](const char* name, void (Engine::*command)()) {
        onClick(top, name, [this, command] {
            (engine_.get()->*command)();
            afterChange();
        });
    };
    on("cmdOpen", &Engine::cmdOpen_Click);
    on("cmdOpenPage", &Engine::cmdOpenPage_Click);
    on("cmdMakeScript", &Engine::cmdMakeScript_Click);
    onClick(top, "lblUpdate", [&e] { openTabuloSite(e); });
    return top;
}

// The options toggle, the version and the edited mark; the small frame beside them shows while
// the mouse is over the toggle.
QWidget* MainWindow::buildOptionsLine(QWidget* parent) {
    QWidget* line = widgets_.row({{"lblOptions", ""}, {"lblVersion", ""}}, parent);
    edited_ = new QLabel(parent);
    edited_->setObjectName("lblEdited");
    line->layout()->addWidget(edited_);
    auto* frame = new QFrame(parent);
    frame->setObjectName("recOptions");
    frame->setFrameShape(QFrame::Box);
    frame->setFixedSize(6, 16);
    keepPlaceWhenHidden(frame);
    frame->hide();
    line->layout()->addWidget(frame);
    recOptions_ = frame;
    connect(static_cast<ClickableLabel*>(widgets_.at(opt("lblOptions"))), &ClickableLabel::hovered,
            this, [this] { recOptions_->show(); });
    return line;
}

void MainWindow::showOption(OptionId id, int index) {
    widgets_.show(id, index);
    if (id == opt("txtFilter")) lists_.fill();
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
        showThemes(widgets_, *engine_);
        if (!lists_.showsCurrentFolder()) lists_.fill();
        if (engine_->previewVersion() != shownPreview_) {
            shownPreview_ = engine_->previewVersion();
            preview_->update();
        }
    });
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
    std::vector<QWidget*> held{goButton_, tabs_, widgets_.at(opt("cmbSheme")), lists_.folders(),
                               lists_.drives()};
    for (QWidget* w : held) w->setEnabled(false);
    progress_->setRange(0, 0);  // busy until the walk reports what it found
    progress_->setFormat("%v of %m folders");
    progress_->show();
    statusArea_.hideReport();  // the last run's report goes with the run that replaces it
    engine_->cmdGo_Click();
    running_ = false;
    progress_->hide();
    for (QWidget* w : held) w->setEnabled(true);
    showRunReport();
    lists_.fill();
}

void MainWindow::showRunReport() {
    statusArea_.showReport(engine_->lastRunReport());
}

bool MainWindow::startUp(const QString& commandLine, const QString& executable) {
    RegisterContextMenu(*engine_, s(executable));
    auto outcome = Form_Activate(*engine_, s(commandLine),
                                 commandLine.isEmpty() ? StartMode::Window : StartMode::Tool);
    lists_.fill();
    if (outcome.quit) engine_->finishPendingEvents();
    return outcome.quit;
}

void MainWindow::status(const std::string& text) {
    statusArea_.say(text);
}

void MainWindow::progress(int done, int found) {
    progress_->setRange(0, found);
    progress_->setValue(done);
}

void MainWindow::hashed(std::uint64_t bytes) {
    progress_->setFormat(QString("%v of %m folders, %1 MB hashed").arg(bytes / 1024 / 1024));
}

Answer MainWindow::ask(const std::string& text, const std::string& title, Buttons buttons) {
    return askInMessageBox(this, text, title, buttons);
}

Answer MainWindow::warn(const std::string& text, const std::string& details,
                        const std::string& title, const std::string& proceed) {
    return warnInMessageBox(this, text, details, title, proceed);
}

void MainWindow::processEvents() {
    QCoreApplication::processEvents();
}

void MainWindow::openInShell(const std::string& target, const std::string&) {
    openWithDesktop(target);
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
    return pickColour(this, initial);
}

std::optional<Host::Font> MainWindow::chooseFont(const Font& initial) {
    return pickFont(this, initial);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (Form_Unload(*engine_)) {
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
