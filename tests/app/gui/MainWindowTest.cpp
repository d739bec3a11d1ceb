#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <map>
#include <QStorageInfo>

#include "WindowFixture.h"
#include "commands/ThemeCommands.h"
#include "gui/MainWindow.h"
#include "gui/Widgets.h"

using namespace tabulo;
using tabulo::gui::MainWindow;
using tabulo::test::Desktop;

namespace {

// Answers the next modal message box with `button`, once it shows.
void answerNextQuestion(QMessageBox::StandardButton button) {
    QTimer::singleShot(50, [button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        box->button(button)->click();
    });
}

// Answers every question that shows with `button`, counting them, until it goes out of scope.
struct StandingAnswerer {
    explicit StandingAnswerer(QMessageBox::StandardButton button) {
        QObject::connect(&timer, &QTimer::timeout, [this, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->property("answered").toBool()) return;
            box->setProperty("answered", true);
            ++asked;
            box->button(button)->click();
        });
        timer.start(20);
    }
    QTimer timer;
    int asked = 0;
};

// Every member of every option group, by group name.
std::map<std::string_view, QStringList> optionGroups() {
    std::map<std::string_view, QStringList> groups;
    for (const OptionDef& d : kOptionTable) {
        if (d.kind == OptionKind::Option && !d.group.empty())
            groups[d.group] << QString::fromUtf8(d.name.data(), static_cast<int>(d.name.size()));
    }
    return groups;
}

bool kindFits(OptionKind kind, QWidget* w) {
    switch (kind) {
        case OptionKind::Check: return qobject_cast<QCheckBox*>(w);
        case OptionKind::Option: return qobject_cast<QRadioButton*>(w);
        case OptionKind::Indexed: return dynamic_cast<gui::IndexedOptionGroup*>(w);
        case OptionKind::Text:
            return qobject_cast<QLineEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QComboBox*>(w);
        case OptionKind::Caption:
        case OptionKind::Panel: return qobject_cast<QLabel*>(w);
        case OptionKind::List: return qobject_cast<QListWidget*>(w);
        case OptionKind::Tab: return qobject_cast<QTabWidget*>(w);
        case OptionKind::Colours: return dynamic_cast<gui::ColourFields*>(w);
        case OptionKind::Slider: return qobject_cast<QScrollBar*>(w);
    }
    return false;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    test::ScratchHome scratch_;
    QString home() const { return scratch_.home(); }
    QString site() const { return scratch_.site(); }
    template <typename T>
    static T* child(MainWindow& w, const char* name) {
        return w.findChild<T*>(name);
    }

private slots:
    void init() {
        scratch_.reset();
        QDir().mkpath(site() + "/a");
    }

    void everyOptionHasOneWidget() {
        MainWindow w;
        for (OptionId id = 0; id < kOptionTable.size(); ++id) {
            const OptionDef& d = kOptionTable[id];
            QString name = QString::fromUtf8(d.name.data(), static_cast<int>(d.name.size()));
            auto found = w.findChildren<QWidget*>(name);
            QCOMPARE(found.size(), 1);
            QVERIFY2(kindFits(d.kind, found.front()), qPrintable(name));
        }
        auto* tabs = child<QTabWidget>(w, "tabOptions");
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i) titles << tabs->tabText(i);
        QCOMPARE(titles, (QStringList{"Colors", "Icons", "Text ", "Head/Foot", "Protocol", "Files", "Paths", "Misc",
                                      "About"}));
        QCOMPARE(child<QLabel>(w, "lblVersion")->text(), QString("42"));
    }

    void rulesShowThroughWidgets() {
        QFile theme(home() + "/code.color");
        QVERIFY(theme.open(QIODevice::WriteOnly));
        theme.write("chkHeader.Value=1\r\ntxtHeader.Text=<b>hello</b>\r\nchkLenght.Value=2\r\n");
        theme.close();
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        child<QCheckBox>(w, "chkColor")->click();
        QVERIFY(child<QWidget>(w, "frmColor")->isHidden());
        QVERIFY(!child<QCheckBox>(w, "chkCss")->isChecked());
        QVERIFY(!child<QRadioButton>(w, "optCssEmbed")->isEnabled());
        child<QRadioButton>(w, "optAllInOneFile")->click();
        QVERIFY(child<QCheckBox>(w, "chkAllInOneFile")->isChecked());
        for (const char* name : {"txtIndexOf", "txtReplaceIndexs", "lblAllInOneFolder", "cmdBrowseAllInOneFolder"}) {
            QVERIFY2(child<QWidget>(w, name)->isEnabled(), name);
        }
        QVERIFY(child<QPlainTextEdit>(w, "txtHeader")->isHidden());
        child<QLineEdit>(w, "txtLenght")->setEnabled(true);
        auto* list = child<QComboBox>(w, "cmbSheme");
        list->setEditText("code");
        cmdLoad_Click(w.engine());
        QVERIFY(!child<QPlainTextEdit>(w, "txtHeader")->isHidden());
        QCOMPARE(child<QPlainTextEdit>(w, "txtHeader")->toPlainText(), QString("<b>hello</b>"));
        QCOMPARE(child<QCheckBox>(w, "chkLenght")->checkState(), Qt::PartiallyChecked);
        QVERIFY(child<QLineEdit>(w, "txtLenght")->isEnabled());  // a 2 leaves it as it was
        QCOMPARE(w.engine().options().editedMark(), std::string("-"));
    }

    void exitQuestion() {
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        QVERIFY(w.close());  // nothing changed: no question
        w.show();
        child<QCheckBox>(w, "chkTable")->click();
        answerNextQuestion(QMessageBox::Cancel);
        QVERIFY(!w.close());
        QVERIFY(!child<QCheckBox>(w, "chkTable")->isChecked());
        answerNextQuestion(QMessageBox::Yes);
        QVERIFY(w.close());
        QVERIFY(QFile::exists(home() + "/default.color"));
        w.show();
        child<QCheckBox>(w, "chkTable")->click();
        answerNextQuestion(QMessageBox::No);
        QVERIFY(w.close());
    }

    void goRunsAnIndexAndAsksBeforeReplacing() {
        QFile old(site() + "/index.html");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        Desktop desktop;  // the run views its page when done
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        w.engine().setCurrentFolder(site().toStdString());
        // While the question of the run shows, its options cannot be changed.
        bool optionsHeld = false;
        QTimer::singleShot(50, [&] {
            optionsHeld = !w.findChild<QTabWidget*>()->isEnabled() &&
                          !child<QPushButton>(w, "cmdGo")->isEnabled();
            qobject_cast<QMessageBox*>(QApplication::activeModalWidget())
                ->button(QMessageBox::Yes)
                ->click();
        });
        child<QPushButton>(w, "cmdGo")->click();
        QVERIFY(optionsHeld);
        QVERIFY(w.findChild<QTabWidget*>()->isEnabled());
        QVERIFY(QFile::exists(site() + "/a/index.html"));
        QFile page(site() + "/index.html");
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(page.readAll().startsWith("<!DOCTYPE"));
        QCOMPARE(child<QLabel>(w, "lblStatus")->text(), QString("Done"));
        QVERIFY(child<QPushButton>(w, "cmdGo")->isEnabled());
    }

    void cancelAtTheOverwriteQuestionEndsCancelled() {
        for (const char* page : {"index.html", "a/index.html"}) scratch_.writeSiteFile(page, "old");
        Desktop desktop;  // the run views its page when done
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        w.engine().setCurrentFolder(site().toStdString());
        answerNextQuestion(QMessageBox::Cancel);
        child<QPushButton>(w, "cmdGo")->click();
        QCOMPARE(child<QLabel>(w, "lblStatus")->text(), QString("Cancelled"));
        QCOMPARE(child<QLabel>(w, "lblRunSummary")->text(), QString("0 pages written, 1 kept"));
    }

    void theFirstRunOnATreeSaysWhatItWouldExpose() {
        scratch_.writeSiteFile(".env", "DB_PASSWORD=1\n");
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        w.engine().setCurrentFolder(site().toStdString());
        QString buttons, findings;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QAbstractButton* b : box->buttons()) buttons += b->text() + ";";
            findings = box->informativeText();
            box->button(QMessageBox::Cancel)->click();
        });
        child<QPushButton>(w, "cmdGo")->click();
        QVERIFY2(buttons.contains("Index anyway"), qPrintable(buttons));
        QVERIFY2(findings.contains(".env: environment file"), qPrintable(findings));
        QVERIFY(!QFile::exists(site() + "/index.html"));
        QCOMPARE(child<QLabel>(w, "lblStatus")->text(), QString("Cancelled"));
    }

    void finishedRunShowsItsPagesAndOpensTheTopPage() {
        Desktop desktop;
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        w.engine().setCurrentFolder(site().toStdString());
        w.engine().options().setCheck(opt("chkView"), 0);
        auto* summary = child<QLabel>(w, "lblRunSummary");
        auto* openPage = child<QPushButton>(w, "cmdOpenPage");
        QVERIFY(summary->isHidden() && openPage->isHidden());
        child<QPushButton>(w, "cmdGo")->click();
        QCOMPARE(child<QLabel>(w, "lblStatus")->text(), QString("Done"));
        QCOMPARE(summary->text(), QString("2 pages written"));
        QVERIFY(summary->isVisible() && openPage->isVisible());
        QVERIFY(desktop.opened.isEmpty());
        openPage->click();
        QCOMPARE(desktop.opened, QList<QUrl>{QUrl::fromLocalFile(site() + "/index.html")});
        // A run that fails leaves nothing to open.
        w.engine().setCurrentFolder((site() + "/gone").toStdString());
        child<QPushButton>(w, "cmdGo")->click();
        QVERIFY(summary->isHidden() && openPage->isHidden());
    }

    // The application's own quit (a desktop's or a menu's) asks as closing the window does.
    void applicationQuitAsksToSave() {
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        child<QCheckBox>(w, "chkTable")->click();
        // The timers live as long as the loop: nothing of one quit is left for what follows.
        auto quitAnswering = [](QMessageBox::StandardButton button) {
            QObject scope;
            bool answered = false;
            QTimer::singleShot(0, &scope, &QCoreApplication::quit);
            QTimer::singleShot(50, &scope, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box) box->button(button)->click();
                answered = true;
            });
            QTimer refused;  // the loop goes on after a refused quit: end it once answered
            QObject::connect(&refused, &QTimer::timeout, [&] {
                if (answered) QCoreApplication::exit(0);
            });
            refused.start(10);
            QCoreApplication::exec();
        };
        quitAnswering(QMessageBox::Cancel);
        QVERIFY(w.isVisible());
        quitAnswering(QMessageBox::No);
        QVERIFY(!w.isVisible());
        QVERIFY(!QFile::exists(home() + "/default.color"));
    }

    void eachGroupShowsTheEnginesMember() {
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        const Options& o = w.engine().options();
        for (const char* held : {"chkCaptureMidi", "txtCapMidi", "optFile", "optHash", "optProtocolCustom"}) {
            QVERIFY2(!child<QWidget>(w, held)->isEnabled(), held);
            QVERIFY2(child<QWidget>(w, held)->toolTip().contains("no effect"), held);
        }
        for (const auto& [group, members] : optionGroups()) {
            for (const QString& name : members) {
                auto* clicked = child<QRadioButton>(w, qPrintable(name));
                clicked->setEnabled(true);  // some need other options first; the click is the point
                clicked->click();
                QApplication::processEvents();
                int shown = 0;
                for (const QString& member : members) {
                    bool on = child<QRadioButton>(w, qPrintable(member))->isChecked();
                    QCOMPARE(on, o.selected(*Options::find(member.toStdString())));
                    shown += on;
                }
                QVERIFY2(shown == 1, qPrintable(name));
            }
        }
        // The output mode's mirrors only show it.
        for (const char* mirror : {"chkAllInOneFile", "chkAllInOneFolder"}) {
            QVERIFY(!child<QCheckBox>(w, mirror)->isEnabled());
            QVERIFY(!child<QCheckBox>(w, mirror)->toolTip().isEmpty());
        }
        child<QRadioButton>(w, "optAllInOneFolder")->click();
        QVERIFY(child<QCheckBox>(w, "chkAllInOneFolder")->isChecked());
        QVERIFY(!child<QCheckBox>(w, "chkAllInOneFile")->isChecked());
        child<QRadioButton>(w, "optCurrentDir")->click();
        QVERIFY(!child<QCheckBox>(w, "chkAllInOneFolder")->isChecked());
    }

    void saveShowsTheMarkAndTheNewNameAtOnce() {
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        auto* themes = child<QComboBox>(w, "cmbSheme");
        themes->setEditText("mine");
        child<QCheckBox>(w, "chkTable")->click();
        QTRY_COMPARE(child<QLabel>(w, "lblEdited")->text(), QString("*"));
        child<QPushButton>(w, "cmdSave")->click();
        QTRY_COMPARE(child<QLabel>(w, "lblEdited")->text(), QString::fromStdString(w.engine().options().editedMark()));
        QCOMPARE(child<QLabel>(w, "lblEdited")->text(), QString("-"));
        QVERIFY(themes->findText("mine") >= 0);
        QVERIFY(QFile::exists(home() + "/mine.color"));
    }

    void keyboardReachesEverything() {
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        int runs = 0;
        w.engine().indexRunner = [&](tabulo::Engine&) { ++runs; };
        auto* tabs = child<QTabWidget>(w, "tabOptions");
        auto* options = child<QLabel>(w, "lblOptions");
        // The options toggle lies in the Tab chain and answers Space.
        bool reached = false;
        for (QWidget* f = child<QPushButton>(w, "cmdGo")->nextInFocusChain(); f != child<QPushButton>(w, "cmdGo");
             f = f->nextInFocusChain()) {
            reached |= f == options;
        }
        QVERIFY(reached && (options->focusPolicy() & Qt::TabFocus));
        const bool shown = !tabs->isHidden();
        options->setFocus();
        QTest::keyClick(options, Qt::Key_Space);
        QCOMPARE(!tabs->isHidden(), !shown);
        QTest::keyClick(options, Qt::Key_Return);
        QCOMPARE(!tabs->isHidden(), shown);
        // Mnemonics and shortcuts.
        for (const char* name : {"cmdGo", "cmdSave", "CmdDelete", "cmdOpen", "cmdMakeScript"})
            QVERIFY2(child<QPushButton>(w, name)->text().contains('&'), name);
        QTest::keyClick(&w, Qt::Key_F5);
        QCOMPARE(runs, 1);
        QTest::keyClick(&w, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(runs, 2);
        QTest::keyClick(&w, Qt::Key_G, Qt::AltModifier);
        QTRY_COMPARE(runs, 3);  // a mnemonic clicks as the mouse would, after a moment
        child<QCheckBox>(w, "chkTable")->click();
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QFile::exists(home() + "/default.color"));
        child<QCheckBox>(w, "chkTable")->click();
        answerNextQuestion(QMessageBox::Cancel);
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(w.isVisible());  // the exit question was asked and cancelled
        w.activateWindow();  // back from the question
        QVERIFY(QTest::qWaitForWindowActive(&w));
        answerNextQuestion(QMessageBox::No);
        QTest::keyClick(&w, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!w.isVisible());
    }

    void everyFieldIsNamedAndShowsItsDefaultWhole() {
        QFile theme(home() + "/a-rather-long-theme-name.color");
        QVERIFY(theme.open(QIODevice::WriteOnly));
        theme.close();
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        w.engine().ToggleOptionsPanel();
        QApplication::processEvents();
        QSet<QWidget*> buddies;
        for (QLabel* label : w.findChildren<QLabel*>())
            if (label->buddy()) buddies << label->buddy();
        for (QWidget* field : w.findChildren<QWidget*>()) {
            bool textField = qobject_cast<QLineEdit*>(field) || qobject_cast<QPlainTextEdit*>(field) ||
                             qobject_cast<QComboBox*>(field) || qobject_cast<QListWidget*>(field);
            if (!textField || qobject_cast<QComboBox*>(field->parentWidget())) continue;
            QVERIFY2(!field->accessibleName().isEmpty() || buddies.contains(field), qPrintable(field->objectName()));
        }
        for (int i = 0; i < child<QTabWidget>(w, "tabOptions")->count(); ++i) {
            child<QTabWidget>(w, "tabOptions")->setCurrentIndex(i);
            QApplication::processEvents();
            for (QLineEdit* edit : child<QTabWidget>(w, "tabOptions")->widget(i)->findChildren<QLineEdit*>()) {
                if (edit->isHidden()) continue;
                QVERIFY2(edit->fontMetrics().horizontalAdvance(edit->text()) < edit->width() - 8,
                         qPrintable(edit->objectName() + ": " + edit->text()));
            }
        }
        auto* themes = child<QComboBox>(w, "cmbSheme");
        QTRY_VERIFY(themes->lineEdit()->width() > themes->fontMetrics().horizontalAdvance("a-rather-long-theme-name"));
        for (const char* name : {"lblR", "lblG", "lblB"}) {
            auto* label = child<QLabel>(w, name);
            QVERIFY(label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(" 255"));
        }
        // The page outline is drawn on the preview's last column and row as on its first.
        QImage preview = child<QWidget>(w, "picPreview")->grab().toImage();
        const int midX = preview.width() / 2, midY = preview.height() / 2;
        QCOMPARE(preview.pixel(preview.width() - 1, midY), preview.pixel(0, midY));
        QCOMPARE(preview.pixel(midX, preview.height() - 1), preview.pixel(midX, 0));
    }

    void windowKeepsItsSizeAndShowsWhereItIs() {
        for (const char* f : {"index.html", "a/index.html", "b/index.html"}) {
            QDir().mkpath(QFileInfo(site() + "/" + f).path());
            QFile old(site() + "/" + f);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        QFile last(home() + "/last-folder");
        QVERIFY(last.open(QIODevice::WriteOnly));
        last.write(site().toUtf8() + "\n");
        last.close();
        Desktop desktop;
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");  // opens in the folder used last
        w.engine().ToggleOptionsPanel();
        QApplication::processEvents();
        QCOMPARE(child<QLabel>(w, "lblPath")->text().remove(QChar(0x200B)), site());
        QVERIFY(w.windowTitle().contains(site()));
        QCOMPARE(child<QComboBox>(w, "Drive1")->currentText(), QStorageInfo(site()).rootPath());
        const QSize size = w.size();
        w.engine().ParkMixer();
        QApplication::processEvents();
        QCOMPARE(w.size(), size);
        cmbSheme_Click(w.engine(), 1);  // random
        QApplication::processEvents();
        QCOMPARE(w.size(), size);
        // One "Yes to all" answers the three pages, and the window stays as it was meanwhile.
        QList<QSize> during;
        QObject::connect(child<QProgressBar>(w, "prgFolders"), &QProgressBar::valueChanged,
                         [&] { during << w.size(); });
        StandingAnswerer yesToAll(QMessageBox::YesToAll);
        child<QPushButton>(w, "cmdGo")->click();
        QCOMPARE(yesToAll.asked, 1);
        for (const char* f : {"index.html", "a/index.html", "b/index.html"}) {
            QFile page(site() + "/" + f);
            QVERIFY(page.open(QIODevice::ReadOnly));
            QVERIFY2(page.readAll().startsWith("<!DOCTYPE"), f);
        }
        QCOMPARE(during, QList<QSize>(3, size));
        QCOMPARE(w.size(), size);
        QVERIFY(child<QProgressBar>(w, "prgFolders")->isHidden());
        QCOMPARE(child<QProgressBar>(w, "prgFolders")->maximum(), 3);
        QCOMPARE(child<QProgressBar>(w, "prgFolders")->value(), 3);
    }

    void daemonReindexesWhileMinimised() {
        MainWindow w;
        w.show();
        w.startUp("", "tabulo");
        Options& o = w.engine().options();
        o.setText(opt("txtWWWroot"), site().toStdString());
        o.setCheck(opt("chkDeamon"), 1);
        o.setText(opt("txtDaemon"), "1");
        QTest::qWait(1500);
        QVERIFY(!QFile::exists(site() + "/index.html"));  // not while the window shows
        w.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(site() + "/a/index.html"), 5000);
        QFile(site() + "/new.txt").open(QIODevice::WriteOnly);
        auto page = [&] {
            QFile f(site() + "/index.html");
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(page().contains("new.txt"), 5000);
        w.showNormal();
        QApplication::processEvents();
        QFile::remove(site() + "/index.html");
        QTest::qWait(2500);
        QVERIFY(!QFile::exists(site() + "/index.html"));  // restored: the daemon rests
    }

    void commandLineRunEndsByItself() {
        QProcess tabulo;
        tabulo.setProgram(TABULO_GUI_BIN);
        tabulo.setArguments({"\"" + site() + "\""});
        tabulo.start();
        QVERIFY(tabulo.waitForFinished(20000));
        QCOMPARE(tabulo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tabulo.exitCode(), 0);
        QVERIFY(QFile::exists(site() + "/index.html"));
        QVERIFY(QFile::exists(site() + "/a/index.html"));
    }

    void lineWithoutAFolderStartsNormally() {
        MainWindow w;
        int runs = 0;
        w.engine().indexRunner = [&](tabulo::Engine&) { ++runs; };  // never a real walk here
        QVERIFY(!w.startUp("-view", "tabulo"));
        QVERIFY(!w.startUp("\"\" -noquit", "tabulo"));
        QCOMPARE(runs, 0);
    }

    void fileManagerEntryOnlyOnTheFirstStart() {
        {
            MainWindow w;
            w.startUp("", "/opt/tabulo/bin/tabulo");
            QCOMPARE(child<QLabel>(w, "lblStatus")->text().isEmpty(), false);
        }
        QString script = scratch_.path("data/nautilus/scripts/Indexilize");
        QVERIFY(QFile::exists(script));
        QVERIFY(QFile::exists(scratch_.path("data/kio/servicemenus/tabulo-indexilize.desktop")));
        QVERIFY(QFile::exists(home() + "/indexilize.marker"));
        QFile::remove(script);
        MainWindow again;
        again.startUp("", "/opt/tabulo/bin/tabulo");
        QVERIFY(!QFile::exists(script));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
