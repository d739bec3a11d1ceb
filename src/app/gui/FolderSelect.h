#pragma once

#include <QComboBox>
#include <QDialog>
#include <QFileSystemModel>
#include <QTreeView>

namespace tabulo::gui {

// The modal folder chooser frmFolderSelect: a drive list, a folder list, "Ok" and "Cancel".
class FolderSelect : public QDialog {
public:
    FolderSelect(const QString& start, QWidget* parent);
    QString chosen() const;

private:
    void showDrive(const QString& root);

    QComboBox* drives_;
    QTreeView* folders_;
    QFileSystemModel* model_;
};

// The mounted volumes, for the drive lists.
QStringList mountedVolumes();

}  // namespace tabulo::gui
