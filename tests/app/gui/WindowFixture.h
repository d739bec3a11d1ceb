#pragma once

// What the window's tests share: a scratch home per test, a stand-in for the desktop, and, on
// a real X server (tests/x11/x-session.sh), real key presses and answers to the questions
// that show.
//
// A case on the real server, e.g. "Go! twice over an unchanged tree, answering Yes to all
// once, asks once":
//
//     Desktop desktop;                      // the run's view opens nothing for real
//     Answers answers({"alt+a"});           // "Yes to &All"; Escape is Cancel, alt+n No
//     auto w = openWindow();                // shown, started and active
//     runByKeys(w.get());                   // F5; its question is answered meanwhile
//     runByKeys(w.get());
//     QCOMPARE(answers.asked.size(), 1);

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <memory>

#include "gui/MainWindow.h"

namespace tabulo::test {

// A scratch folder per test: TABULO_HOME, HOME and XDG_DATA_HOME point into it, and site() is
// an empty folder to index. reset() empties it for the next test.
class ScratchHome {
  public:
    void reset();
    QString home() const { return dir_.filePath("home"); }
    QString site() const { return dir_.filePath("site"); }
    QString path(const QString& relative) const { return dir_.filePath(relative); }
    // Writes `content` to `relative` below the site, with the folders on its way.
    void writeSiteFile(const QString& relative, const QByteArray& content) const;
    // The next window opens in `folder`, as in the folder it showed last.
    void openNextWindowIn(const QString& folder) const;

  private:
    QTemporaryDir dir_;
};

// Stands in for the desktop while it lives: keeps the files the window asks it to open
// instead of starting a browser.
class Desktop : public QObject {
    Q_OBJECT
  public:
    Desktop();
    ~Desktop() override;
    Q_INVOKABLE void open(const QUrl& url) { opened << url; }

    QList<QUrl> opened;
};

// A window as a user opens it: shown, started up without a command line, and active.
std::unique_ptr<gui::MainWindow> openWindow();

// Real input, on the X server that DISPLAY names.

// Runs a tool to its end while the event loop goes on, so this process's windows stay alive
// (a question the tool's keys open shows, and is answered, meanwhile). Its output, trimmed;
// the test fails when the tool fails or takes longer than `timeoutMs`.
QString runTool(const QString& program, const QStringList& arguments, int timeoutMs = 20000);

// Makes the window with X id `window` the active one through the window manager, then presses
// `keys` there as a keyboard would, in xdotool's spelling: "ctrl+q", "F5", "Escape", "alt+a";
// several are separated by blanks.
void pressKeys(WId window, const QString& keys);
inline void pressKeys(QWidget* window, const QString& keys) {
    pressKeys(window->winId(), keys);
}

// Presses `keys` (Go! by default) in the window and waits until the run they start has
// ended, its status line reading "Done" or "Cancelled".
void runByKeys(gui::MainWindow* w, const QString& keys = "F5");

// The X id of the first visible window of process `pid` whose title starts with `title`,
// once the window manager shows it.
WId windowOf(qint64 pid, const QString& title);

// While it lives, answers each message box that shows with the next keys of `keys`, pressed
// for real once the box is the active window, and keeps the boxes' texts in `asked`. A box
// that shows when no keys are left gets Escape (Cancel, or No): an unexpected question fails
// the test on `asked` rather than hanging it.
class Answers : public QObject {
  public:
    explicit Answers(QStringList keys);

    QStringList asked;

  private:
    void look();

    QStringList keys_;
    QPointer<QMessageBox> answered_;
    QTimer timer_;
};

}  // namespace tabulo::test
