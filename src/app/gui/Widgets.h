#pragma once

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>
#include <functional>
#include <vector>

#include "engine/Engine.h"

namespace tabulo::gui {

// The members of an indexed option group (optProtocol, optFileSize) under one name.
class IndexedOptionGroup : public QWidget {
    Q_OBJECT
public:
    IndexedOptionGroup(const QStringList& captions, QWidget* parent = nullptr);
    void showSelected(int index);
    std::vector<QRadioButton*> members;
signals:
    void chosen(int index);
};

// The nine colour slot fields with their labels; 7 and 8 are hidden.
class ColourFields : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSlots = 9;

    explicit ColourFields(QWidget* parent = nullptr);
    QLineEdit* field(int slot) const { return fields_[static_cast<std::size_t>(slot)]; }
    void paint(int slot, const ColourEditor::Paint& paint);
signals:
    void edited(int slot, const QString& text);
    void clicked(int slot);
    void labelClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<QLineEdit*> fields_;
    std::vector<QLabel*> labels_;
};

// A label that reports clicks and the mouse passing over it.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
    void hovered();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent*) override { emit clicked(); }
    void mouseDoubleClickEvent(QMouseEvent*) override { emit doubleClicked(); }
    void mouseMoveEvent(QMouseEvent*) override { emit hovered(); }
    void keyPressEvent(QKeyEvent* event) override;
};

// Draws the schematic page the engine computed.
class PreviewWidget : public QWidget {
public:
    explicit PreviewWidget(Engine& engine, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Engine& engine_;
};

// Keeps its place in the layout while hidden, so showing it moves nothing else.
void keepPlaceWhenHidden(QWidget* w);

// Makes a line edit at least as wide as `text`, so a default value shows whole.
void fitText(QLineEdit* edit, const QString& text);

// Runs `handler` for each event of `type` that reaches `watched`; the event goes on as before.
void onEvent(QObject* watched, QEvent::Type type, std::function<void(QEvent*)> handler);

// Runs `handler` when the button or clickable label named `name` below `parent` is clicked.
void onClick(QWidget* parent, const char* name, std::function<void()> handler);

}  // namespace tabulo::gui
