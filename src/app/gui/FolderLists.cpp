#include "gui/FolderLists.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStorageInfo>
#include <QVBoxLayout>

#include "gui/FolderSelect.h"
#include "gui/QtStrings.h"
#include "listing/FolderListing.h"
#include "listing/Wildcard.h"

namespace tabulo::gui {

namespace {

// Long paths wrap at their separators rather than widen the window.
QString breakablePath(const QString& path) {
    QString shown = path;
    return shown.replace('/', QStringLiteral("/\u200B"));
}

}  // namespace

QLayout* FolderLists::build(QWidget* parent, OptionWidgets& widgets) {
    auto* lists = new QVBoxLayout;
    path_ = new QLabel(parent);
    path_->setObjectName("lblPath");
    path_->setWordWrap(true);
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    drives_ = new QComboBox(parent);
    drives_->setObjectName("Drive1");
    drives_->setAccessibleName("Drive");
    drives_->addItems(mountedVolumes());
    folders_ = new QListWidget(parent);
    folders_->setObjectName("Dir1");
    folders_->setAccessibleName("Folders");
    files_ = new QListWidget(parent);
    files_->setObjectName("File1");
    files_->setAccessibleName("Files");
    lists->addWidget(path_);
    lists->addWidget(drives_);
    lists->addWidget(folders_, 2);
    lists->addWidget(widgets.control("txtFilter", "File pattern", parent));
    lists->addWidget(files_, 1);
    QObject::connect(drives_, &QComboBox::textActivated, window_, [this](const QString& root) {
        if (!QDir(root).isReadable()) {
            QMessageBox::warning(window_, "Tabulo",
                                 QString("The drive %1 is not ready.").arg(root));
            return;
        }
        setFolder(root);
    });
    QObject::connect(folders_, &QListWidget::itemActivated, window_, [this](QListWidgetItem* item) {
        QString here = q(engine_.currentFolder());
        setFolder(item->text() == ".." ? QFileInfo(here).path()
                                       : QDir(here).filePath(item->text()));
    });
    return lists;
}

void FolderLists::setFolder(const QString& path) {
    engine_.setCurrentFolder(s(QDir::cleanPath(path)));
    fill();
}

void FolderLists::fill() {
    if (!folders_) return;
    folders_->clear();
    files_->clear();
    const std::string folder = engine_.currentFolder();
    shown_ = folder;
    if (folder != "/") folders_->addItem("..");
    try {
        FolderListing listing =
            readFolder(folder, Wildcard(engine_.options().text(opt("txtFilter"))));
        for (const auto& sub : listing.folders) folders_->addItem(q(sub.name));
        for (const auto& file : listing.files) files_->addItem(q(file.name));
    } catch (const std::system_error&) {
        // An unreadable folder shows empty lists.
    }
    folders_->setToolTip(q(folder));
    path_->setText(breakablePath(q(folder)));
    path_->setToolTip(q(folder));
    window_->setWindowTitle("Tabulo - " + q(folder));
    const QString mount = QStorageInfo(q(folder)).rootPath();
    if (!mount.isEmpty()) {
        if (drives_->findText(mount) < 0) drives_->addItem(mount);
        QSignalBlocker quiet(drives_);
        drives_->setCurrentIndex(drives_->findText(mount));
    }
}

}  // namespace tabulo::gui
