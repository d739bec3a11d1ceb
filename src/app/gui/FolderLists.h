#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <string>

#include "engine/Engine.h"
#include "gui/OptionWidgets.h"

namespace tabulo::gui {

// The folder browser: the path, the drives, the folders, the file pattern (txtFilter) and the
// files of the engine's current folder. Choosing a drive or a folder makes it the current one.
class FolderLists {
public:
    FolderLists(Engine& engine, QWidget* window) : engine_(engine), window_(window) {}

    // Makes the lists on `parent` and returns their column.
    QLayout* build(QWidget* parent, OptionWidgets& widgets);
    void setFolder(const QString& path);
    // Shows the engine's current folder, in the window's title too.
    void fill();
    bool showsCurrentFolder() const { return shown_ == engine_.currentFolder(); }
    QComboBox* drives() const { return drives_; }
    QListWidget* folders() const { return folders_; }

private:
    Engine& engine_;
    QWidget* window_;
    QLabel* path_ = nullptr;
    QComboBox* drives_ = nullptr;
    QListWidget* folders_ = nullptr;
    QListWidget* files_ = nullptr;
    std::string shown_;
};

}  // namespace tabulo::gui
