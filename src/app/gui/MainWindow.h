#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "engine/Engine.h"
#include "gui/FolderLists.h"
#include "gui/OptionWidgets.h"
#include "gui/StatusArea.h"
#include "host/Host.h"

namespace tabulo::gui {

class PreviewWidget;

// The main window frmMain. It holds no rules of its own: every widget carries its option's
// name, edits go to the engine, and the engine's values and panel state come back to the
// widgets. It is also the engine's host: status line, questions, dialogs, the desktop.
class MainWindow : public QWidget, public Host {
public:
    MainWindow();
    ~MainWindow() override;

    Engine& engine() { return *engine_; }

    // Start-up with the command line; true when the program should end now.
    bool startUp(const QString& commandLine, const QString& executable);

    // Host
    void status(const std::string& text) override;
    Answer ask(const std::string& text, const std::string& title, Buttons buttons) override;
    Answer warn(const std::string& text, const std::string& details, const std::string& title,
                const std::string& proceed) override;
    void processEvents() override;
    void progress(int done, int found) override;
    void hashed(std::uint64_t bytes) override;
    void openInShell(const std::string& target, const std::string& workingFolder) override;
    std::optional<std::string> chooseFolder(const std::string& start) override;
    std::optional<std::uint32_t> chooseColor(std::uint32_t initial) override;
    std::optional<Font> chooseFont(const Font& initial) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QWidget* buildTopArea();
    QWidget* buildOptionsLine(QWidget* parent);
    void showOption(OptionId id, int index);
    void showPanelState(const std::string& control);
    void showAll();
    void afterChange();
    void go();
    void showRunReport();
    void updateDaemon();

    std::unique_ptr<Engine> engine_;
    OptionWidgets widgets_;
    FolderLists lists_;
    StatusArea statusArea_;
    QLabel* edited_ = nullptr;
    QLabel* selectedFolder_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* goButton_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QWidget* recOptions_ = nullptr;
    PreviewWidget* preview_ = nullptr;
    QTimer network_;
    QTimer daemon_;        // re-indexes while the window is minimised, when asked to
    bool running_ = false;  // a run (the window's or the daemon's) is going
    unsigned shownPreview_ = ~0u;
    bool afterChangeQueued_ = false;
};

}  // namespace tabulo::gui
