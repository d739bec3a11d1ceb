#include "gui/Dialogs.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFontDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "gui/QtStrings.h"

namespace tabulo::gui {

Answer askInMessageBox(QWidget* parent, const std::string& text, const std::string& title,
                       Buttons buttons) {
    QMessageBox box(parent);
    box.setWindowTitle(q(title));
    box.setText(q(text));
    if (buttons == Buttons::Ok) {
        box.setIcon(title == "Winsock Error" ? QMessageBox::Warning : QMessageBox::Information);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return Answer::Yes;
    }
    box.setIcon(QMessageBox::Question);
    QMessageBox::StandardButtons choices = QMessageBox::Yes | QMessageBox::No;
    if (buttons != Buttons::YesNo) choices |= QMessageBox::Cancel;
    if (buttons == Buttons::YesNoAllCancel) choices |= QMessageBox::YesToAll | QMessageBox::NoToAll;
    box.setStandardButtons(choices);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::YesToAll:
            return Answer::YesToAll;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::NoToAll:
            return Answer::NoToAll;
        default:
            return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

Answer warnInMessageBox(QWidget* parent, const std::string& text, const std::string& details,
                        const std::string& title, const std::string& proceed) {
    QMessageBox box(parent);
    box.setWindowTitle(q(title));
    box.setIcon(QMessageBox::Warning);
    box.setText(q(text));
    // The findings in sight; a long list in full behind "Show Details".
    const QStringList lines = q(details).split('\n');
    constexpr int kShown = 24;
    box.setInformativeText(lines.mid(0, kShown).join('\n') + (lines.size() > kShown ? "\n..." : ""));
    if (lines.size() > kShown) box.setDetailedText(q(details));
    QPushButton* goOn = box.addButton(q(proceed), QMessageBox::AcceptRole);
    QPushButton* stop = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(stop);
    box.setEscapeButton(stop);
    box.exec();
    return box.clickedButton() == goOn ? Answer::Yes : Answer::Cancel;
}

std::optional<std::uint32_t> pickColour(QWidget* parent, std::uint32_t initial) {
    QColor colour = QColorDialog::getColor(
        QColor(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF), parent);
    if (!colour.isValid()) return std::nullopt;
    return static_cast<std::uint32_t>(colour.red() | colour.green() << 8 | colour.blue() << 16);
}

std::optional<Host::Font> pickFont(QWidget* parent, const Host::Font& initial) {
    bool ok = false;
    QFont font =
        QFontDialog::getFont(&ok, QFont(q(initial.family), static_cast<int>(initial.size)), parent);
    if (!ok) return std::nullopt;
    return Host::Font{s(font.family()), static_cast<float>(font.pointSizeF())};
}

void openWithDesktop(const std::string& target) {
    QString t = q(target);
    QUrl url = t.contains("://") || t.startsWith("mailto:") ? QUrl(t) : QUrl::fromLocalFile(t);
    QDesktopServices::openUrl(url);
}

}  // namespace tabulo::gui
