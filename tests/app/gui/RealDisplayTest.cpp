// The window on a real X server with a window manager (run through tests/x11/x-session.sh),
// driven by real key presses: focus, shortcuts and the window manager's own close travel
// through the server here, which offscreen tests never show.
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "WindowFixture.h"

using namespace tabulo;
using namespace tabulo::test;

namespace {

const QString kSaveQuestion = "Save changes with exit? (to `default.color`)";

QString statusOf(QWidget* w) {
    return w->findChild<QLabel*>("lblStatus")->text();
}

// Ticks "Table view" with the space bar, as a user would: an edit that the exit asks about.
void changeAnOption(gui::MainWindow* w) {
    if (w->findChild<QTabWidget*>("tabOptions")->isHidden()) w->engine().ToggleOptionsPanel();
    auto* table = w->findChild<QCheckBox*>("chkTable");
    w->findChild<QTabWidget*>("tabOptions")->setCurrentWidget(table->parentWidget()->parentWidget());
    QTRY_VERIFY(table->isVisible());
    table->setFocus();
    const bool was = table->isChecked();
    pressKeys(w, "space");
    QTRY_COMPARE(table->isChecked(), !was);
    QCOMPARE(w->engine().options().editedMark(), std::string("*"));
}

}  // namespace

class RealDisplayTest : public QObject {
    Q_OBJECT

    ScratchHome scratch_;

    bool themeSaved() const { return QFile::exists(scratch_.home() + "/default.color"); }

private slots:
    void initTestCase() {
        QVERIFY2(QGuiApplication::platformName() == "xcb",
                 "run through tests/x11/x-session.sh, on an X server of its own");
    }

    void init() { scratch_.reset(); }

    void ctrlQWithoutAChangeClosesAtOnce() {
        Answers answers({});
        auto w = openWindow();
        pressKeys(w.get(), "ctrl+q");
        QTRY_VERIFY(!w->isVisible());
        QCOMPARE(answers.asked, QStringList());
    }

    void ctrlQAfterAChangeAsksToSave_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("stays");
        QTest::addColumn<bool>("saved");
        QTest::newRow("Cancel") << "Escape" << true << false;
        QTest::newRow("No") << "alt+n" << false << false;
        QTest::newRow("Yes") << "alt+y" << false << true;
    }

    void ctrlQAfterAChangeAsksToSave() {
        QFETCH(QString, answer);
        QFETCH(bool, stays);
        QFETCH(bool, saved);
        Answers answers({answer});
        auto w = openWindow();
        changeAnOption(w.get());
        pressKeys(w.get(), "ctrl+q");
        QTRY_COMPARE(answers.asked, QStringList{kSaveQuestion});
        QTRY_COMPARE(w->isVisible(), stays);
        QCOMPARE(themeSaved(), saved);
        if (stays) QCOMPARE(w->engine().options().editedMark(), std::string("*"));
    }

    // Alt+F4 is the window manager's close, as its title bar's button is.
    void windowManagersCloseAsksTheSame() {
        Answers answers({"Escape", "alt+n"});
        auto w = openWindow();
        changeAnOption(w.get());
        pressKeys(w.get(), "alt+F4");
        QTRY_COMPARE(answers.asked, QStringList{kSaveQuestion});
        QVERIFY(w->isVisible());
        pressKeys(w.get(), "alt+F4");
        QTRY_COMPARE(answers.asked, (QStringList{kSaveQuestion, kSaveQuestion}));
        QTRY_VERIFY(!w->isVisible());
        QVERIFY(!themeSaved());
    }

    // The program as it is installed: its window ends it.
    void theProgramEndsOnCtrlQ() {
        QProcess tabulo;
        tabulo.start(TABULO_GUI_BIN, {});
        QVERIFY(tabulo.waitForStarted());
        const WId window = windowOf(tabulo.processId(), "Tabulo");
        QVERIFY(window);
        pressKeys(window, "ctrl+q");
        QTRY_COMPARE_WITH_TIMEOUT(tabulo.state(), QProcess::NotRunning, 10000);
        QCOMPARE(tabulo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tabulo.exitCode(), 0);
        QVERIFY(!themeSaved());
    }

    void cancelAtAnOverwriteQuestionEndsCancelled() {
        for (const char* page : {"index.html", "a/index.html", "b/index.html"})
            scratch_.writeSiteFile(page, "old");
        scratch_.openNextWindowIn(scratch_.site());
        Desktop desktop;  // the run views its page when done
        Answers answers({"Escape"});
        auto w = openWindow();
        runByKeys(w.get());
        QCOMPARE(statusOf(w.get()), QString("Cancelled"));
        QCOMPARE(answers.asked, QStringList{"Overwrite '" + scratch_.site() + "/a/index.html' ?"});
        QCOMPARE(w->findChild<QLabel*>("lblRunSummary")->text(), QString("0 pages written, 1 kept"));
        for (const char* page : {"index.html", "a/index.html", "b/index.html"}) {
            QFile f(scratch_.site() + "/" + page);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("old"));
        }
    }

    // Pages that were there are replaced after one "Yes to all"; the pages written then are
    // what the next runs would write, so they ask nothing again.
    void goTwiceAfterYesToAllAsksNothingMore() {
        for (const char* file : {"music/live/a.mp3", "music/b.mp3", "my docs/old/c.txt"})
            scratch_.writeSiteFile(file, "x");
        for (const char* page : {"index.html", "music/index.html", "my docs/index.html"})
            scratch_.writeSiteFile(page, "old");
        scratch_.openNextWindowIn(scratch_.site());
        Desktop desktop;
        Answers answers({"alt+a"});
        auto w = openWindow();
        runByKeys(w.get());
        QCOMPARE(statusOf(w.get()), QString("Done"));
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(w->findChild<QLabel*>("lblRunSummary")->text(), QString("5 pages written"));
        for (int again = 0; again < 2; ++again) {
            runByKeys(w.get());
            QCOMPARE(statusOf(w.get()), QString("Done"));
            QCOMPARE(answers.asked.size(), 1);
            QCOMPARE(w->findChild<QLabel*>("lblRunSummary")->text(),
                     QString("0 pages written, 5 unchanged"));
        }
    }

    void finishedRunShowsItsPagesAndOpensTheTopPage() {
        scratch_.writeSiteFile("a/x.txt", "x");
        scratch_.openNextWindowIn(scratch_.site());
        Desktop desktop;
        Answers answers({});
        auto w = openWindow();
        auto* summary = w->findChild<QLabel*>("lblRunSummary");
        auto* openPage = w->findChild<QPushButton*>("cmdOpenPage");
        QVERIFY(summary->isHidden() && openPage->isHidden());
        w->engine().options().setCheck(opt("chkView"), 0);  // only the button opens the page
        runByKeys(w.get());
        QCOMPARE(statusOf(w.get()), QString("Done"));
        QCOMPARE(answers.asked, QStringList());
        QVERIFY(summary->isVisible() && openPage->isVisible());
        QCOMPARE(summary->text(), QString("2 pages written"));
        QVERIFY(desktop.opened.isEmpty());
        pressKeys(w.get(), "alt+p");
        QTRY_COMPARE(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(scratch_.site() + "/index.html")});
    }
};

QTEST_MAIN(RealDisplayTest)
#include "RealDisplayTest.moc"
