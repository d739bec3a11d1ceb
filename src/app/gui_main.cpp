// tabulo: the desktop window. With a folder on its command line it indexes that folder and,
// without "-noquit", ends by itself.
#include <QApplication>
#include <QFileInfo>
#include <QTabWidget>
#include <QTimer>
#include <clocale>

#include "common/FolderAccess.h"
#include "common/Memory.h"
#include "gui/MainWindow.h"

int main(int argc, char** argv) {
    tabulo::keepFreedMemoryForReuse();  // before Qt starts any thread
    QApplication app(argc, argv);
    // NOLINTBEGIN(concurrency-mt-unsafe): no thread of the program's own runs yet
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    // NOLINTEND(concurrency-mt-unsafe)
    tabulo::raiseDescriptorLimit();
    QString screenshot;
    QStringList words;
    bool ownOptions = true;
    for (int i = 1; i < argc; ++i) {
        QString arg = QString::fromLocal8Bit(argv[i]);
        if (ownOptions && arg.startsWith("--screenshot=")) {
            screenshot = arg.mid(13);  // for the documentation: the window, options open
            continue;
        }
        ownOptions = false;
        words << arg;
    }
    tabulo::gui::MainWindow window;
    window.show();
    QTimer::singleShot(0, &window, [&] {
        if (!screenshot.isEmpty()) {
            // For the documentation: the window with its options open, then one grab per tab
            // beside it (tab-colors.png, tab-icons.png, ...).
            window.startUp("", QCoreApplication::applicationFilePath());
            window.engine().ToggleOptionsPanel();
            QApplication::processEvents();
            window.grab().save(screenshot);
            auto* tabs = window.findChild<QTabWidget*>("tabOptions");
            const QString folder = QFileInfo(screenshot).path();
            for (int i = 0; i < tabs->count(); ++i) {
                tabs->setCurrentIndex(i);
                QApplication::processEvents();
                QString name = tabs->tabText(i).trimmed().toLower().replace('/', '-');
                window.grab().save(folder + "/tab-" + name + ".png");
            }
            QApplication::exit(0);
            return;
        }
        if (window.startUp(words.join(' '), QCoreApplication::applicationFilePath()))
            QApplication::exit(0);
    });
    return app.exec();
}
