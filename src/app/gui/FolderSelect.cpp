#include "gui/FolderSelect.h"

#include <QDir>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QStorageInfo>
#include <QVBoxLayout>

namespace tabulo::gui {

QStringList mountedVolumes() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && !roots.contains(volume.rootPath())) roots << volume.rootPath();
    }
    roots.sort();
    return roots;
}

FolderSelect::FolderSelect(const QString& start, QWidget* parent) : QDialog(parent) {
    setObjectName("frmFolderSelect");
    setWindowTitle("Select folder");
    drives_ = new QComboBox(this);
    drives_->setObjectName("Drive1");
    drives_->addItems(mountedVolumes());
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model_->setRootPath("/");
    folders_ = new QTreeView(this);
    folders_->setObjectName("Folder");
    folders_->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column) folders_->hideColumn(column);
    auto* ok = new QPushButton("Ok", this);
    ok->setObjectName("cmdOkBrowse");
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cmdCancelBrowse");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(drives_);
    layout->addWidget(folders_);
    layout->addLayout(buttons);
    resize(420, 460);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(drives_, &QComboBox::textActivated, this, [this](const QString& root) { showDrive(root); });
    QString folder = start.isEmpty() ? QDir::currentPath() : start;
    folders_->setCurrentIndex(model_->index(folder));
    folders_->scrollTo(model_->index(folder));
}

void FolderSelect::showDrive(const QString& root) {
    if (!QDir(root).isReadable()) {
        QMessageBox::warning(this, "Tabulo", QString("The drive %1 is not ready.").arg(root));
        return;
    }
    folders_->setCurrentIndex(model_->index(root));
}

QString FolderSelect::chosen() const { return model_->filePath(folders_->currentIndex()); }

}  // namespace tabulo::gui
