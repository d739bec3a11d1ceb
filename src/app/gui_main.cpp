// tabulo: the desktop window. With a folder on its command line it indexes that folder and,
// without "-noquit", ends by itself.
#include <QApplication>
#include <QTimer>
#include <clocale>

#include "gui/MainWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
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
            window.startUp("", QCoreApplication::applicationFilePath());
            window.engine().ToggleOptionsPanel();
            QApplication::processEvents();
            window.grab().save(screenshot);
            QApplication::exit(0);
            return;
        }
        if (window.startUp(words.join(' '), QCoreApplication::applicationFilePath()))
            QApplication::exit(0);
    });
    return app.exec();
}
