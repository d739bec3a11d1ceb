#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "gui/MainWindow.h"
#include "gui/Widgets.h"

using namespace tabulo;
using tabulo::gui::MainWindow;

namespace {

// Answers the next modal message box with `button`, once it shows.
void answerNextQuestion(QMessageBox::StandardButton button) {
    QTimer::singleShot(50, [button] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        box->button(button)->click();
    });
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

    QTemporaryDir dir_;
    QString home() const { return dir_.filePath("home"); }
    QString site() const { return dir_.filePath("site"); }
    template <typename T>
    static T* child(MainWindow& w, const char* name) {
        return w.findChild<T*>(name);
    }

private slots:
    void init() {
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(home());
        QDir().mkpath(site() + "/a");
        qputenv("TABULO_HOME", home().toUtf8());
        qputenv("XDG_DATA_HOME", dir_.filePath("data").toUtf8());
        QDir().mkpath(dir_.filePath("user"));
        qputenv("HOME", dir_.filePath("user").toUtf8());  // where a window without a folder opens
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
        w.engine().cmdLoad_Click();
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
        QString script = dir_.filePath("data/nautilus/scripts/Indexilize");
        QVERIFY(QFile::exists(script));
        QVERIFY(QFile::exists(dir_.filePath("data/kio/servicemenus/tabulo-indexilize.desktop")));
        QVERIFY(QFile::exists(home() + "/indexilize.marker"));
        QFile::remove(script);
        MainWindow again;
        again.startUp("", "/opt/tabulo/bin/tabulo");
        QVERIFY(!QFile::exists(script));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
