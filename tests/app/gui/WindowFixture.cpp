#include "WindowFixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include "run/RunSummary.h"

namespace tabulo::test {

void ScratchHome::reset() {
    QDir(dir_.path()).removeRecursively();
    for (const char* folder : {"home", "site", "user", "data"}) QDir().mkpath(dir_.filePath(folder));
    qputenv("TABULO_HOME", home().toUtf8());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
    qputenv("HOME", dir_.filePath("user").toUtf8());  // where a window without a folder opens
}

void ScratchHome::writeSiteFile(const QString& relative, const QByteArray& content) const {
    const QString path = site() + "/" + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
             qPrintable(path));
}

void ScratchHome::openNextWindowIn(const QString& folder) const {
    QFile last(home() + "/last-folder");
    QVERIFY(last.open(QIODevice::WriteOnly));
    last.write(folder.toUtf8() + "\n");
}

Desktop::Desktop() {
    QDesktopServices::setUrlHandler("file", this, "open");
}

Desktop::~Desktop() {
    QDesktopServices::unsetUrlHandler("file");
}

std::unique_ptr<gui::MainWindow> openWindow() {
    auto w = std::make_unique<gui::MainWindow>();
    w->show();
    w->startUp("", "tabulo");
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get())) QTest::qFail("the window is not active", __FILE__, __LINE__);
    return w;
}

QString runTool(const QString& program, const QStringList& arguments, int timeoutMs) {
    QProcess tool;
    tool.start(program, arguments);
    const QString shown = program + " " + arguments.join(' ');
    QDeadlineTimer deadline(timeoutMs);
    while (!tool.waitForFinished(5)) {
        if (tool.state() == QProcess::NotRunning) break;
        if (deadline.hasExpired()) {
            tool.kill();
            tool.waitForFinished();
            QTest::qFail(qPrintable("took too long: " + shown), __FILE__, __LINE__);
            return {};
        }
        QCoreApplication::processEvents();
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        QTest::qFail(qPrintable("failed: " + shown + ": " + tool.readAllStandardError()), __FILE__,
                     __LINE__);
    }
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

void pressKeys(WId window, const QString& keys) {
    runTool("xdotool", {"windowactivate", "--sync", QString::number(window)});
    // A call of its own: without a window named, xdotool types through XTEST, as a keyboard.
    runTool("xdotool", QStringList{"key"} + keys.split(' ', Qt::SkipEmptyParts));
}

void runByKeys(gui::MainWindow* w, const QString& keys) {
    w->engine().setStatus("");  // so that the end of this run shows, whatever the last said
    pressKeys(w, keys);
    QTRY_VERIFY_WITH_TIMEOUT(IsRunEnd(w->engine().statusLine()), 30000);
}

WId windowOf(qint64 pid, const QString& title) {
    const QString found = runTool("xdotool", {"search", "--sync", "--onlyvisible", "--pid",
                                              QString::number(pid), "--name", "^" + title});
    return found.section('\n', 0, 0).toULongLong();
}

Answers::Answers(QStringList keys) : keys_(std::move(keys)) {
    connect(&timer_, &QTimer::timeout, this, &Answers::look);
    timer_.start(20);
}

void Answers::look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box == answered_ || !box->isActiveWindow()) return;
    answered_ = box;
    asked << box->text();
    pressKeys(box, keys_.isEmpty() ? QString("Escape") : keys_.takeFirst());
}

}  // namespace tabulo::test
