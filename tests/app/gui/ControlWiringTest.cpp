// What the window's controls set off beyond an option's value: keys typed in the theme list,
// double-clicks, links, the colour fields and the list buttons each reach their engine command.
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include "WindowFixture.h"
#include "gui/MainWindow.h"
#include "gui/Widgets.h"

using namespace tabulo;

namespace {

// Stands in for the browser while it lives: keeps the web addresses the window opens.
class Browser : public QObject {
    Q_OBJECT
public:
    Browser() {
        for (const char* scheme : {"http", "https"}) QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~Browser() override {
        for (const char* scheme : {"http", "https"}) QDesktopServices::unsetUrlHandler(scheme);
    }
    Q_INVOKABLE void open(const QUrl& url) { opened << url.toString(); }

    QStringList opened;
};

}  // namespace

class ControlWiringTest : public QObject {
    Q_OBJECT

    test::ScratchHome scratch_;

    // A started window with its options shown, on the tab that holds `control`.
    static std::unique_ptr<gui::MainWindow> windowAt(const char* control) {
        auto w = std::make_unique<gui::MainWindow>();
        w->show();
        w->startUp("", "tabulo");
        auto* tabs = w->findChild<QTabWidget*>("tabOptions");
        if (tabs->isHidden()) w->engine().ToggleOptionsPanel();
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i)->findChild<QWidget*>(control)) tabs->setCurrentIndex(i);
        }
        QApplication::processEvents();
        return w;
    }

private slots:
    void init() { scratch_.reset(); }

    void keysInTheThemeListNameTheStylesheet() {
        auto w = windowAt("cmbSheme");
        auto* themes = w->findChild<QComboBox*>("cmbSheme");
        themes->setEditText("plain");
        QTest::keyClick(themes->lineEdit(), Qt::Key_X);
        // The engine sees the key before the list takes it in.
        QCOMPARE(w->findChild<QLineEdit*>("txtIndexCss")->text(), QString("plainx.css"));
        QCOMPARE(themes->currentText(), QString("plainx"));
    }

    void linksOpenTheirAddresses() {
        Browser browser;
        auto w = windowAt("txtAboutLink");
        auto* link = w->findChild<QLineEdit*>("txtAboutLink");
        w->engine().options().setText(opt("txtAboutLink"), "https://example.org/me");
        QTest::mouseDClick(link, Qt::LeftButton);
        QCOMPARE(browser.opened, QStringList{"https://example.org/me"});
        QTRY_COMPARE(w->findChild<QLabel*>("lblEdited")->text(), QString("*"));
        for (const char* site : {"lblUpdate", "lblTabulo2"}) {
            browser.opened.clear();
            QTest::mouseClick(w->findChild<QLabel*>(site), Qt::LeftButton);
            QCOMPARE(browser.opened, QStringList{QString::fromUtf8(kHomeSite.data(), kHomeSite.size())});
        }
    }

    void colourFieldsBringTheMixerAndTheirLabelsPark() {
        auto w = windowAt("txtColorHex");
        auto* mixer = w->findChild<QWidget*>("rgbFrame");
        QTest::mouseClick(w->findChild<QLabel*>("lblColordesc_0"), Qt::LeftButton);
        QTRY_VERIFY(mixer->isHidden());
        QTest::mouseClick(w->findChild<QLineEdit*>("txtColorHex_2"), Qt::LeftButton);
        QTRY_VERIFY(mixer->isVisible());
        // The mixer shows the slot it was brought for, in its labels' colours too.
        const QString hex = w->findChild<QLineEdit*>("txtColorHex_2")->text().remove('#');
        const QColor colour(QString("#") + hex);
        QTRY_COMPARE(w->findChild<QLabel*>("lblR")->text().trimmed(), QString::number(colour.red()));
        QCOMPARE(w->findChild<QLabel*>("lblB")->text().trimmed(), QString::number(colour.blue()));
    }

    void removeTakesTheSelectedDaemonPath() {
        auto w = windowAt("lstDeamonMore");
        w->engine().options().setList(opt("lstDeamonMore"), {"/srv/a", "/srv/b", "/srv/c"});
        auto* paths = w->findChild<QListWidget*>("lstDeamonMore");
        QCOMPARE(paths->count(), 3);
        paths->setCurrentRow(1);
        w->findChild<QPushButton*>("cmdRemoveMoreWWW")->click();
        QCOMPARE(w->engine().options().list(opt("lstDeamonMore")), (std::vector<std::string>{"/srv/a", "/srv/c"}));
        QCOMPARE(paths->count(), 2);
    }
};

QTEST_MAIN(ControlWiringTest)
#include "ControlWiringTest.moc"
