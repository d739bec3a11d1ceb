#include "gui/Widgets.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace tabulo::gui {

namespace {

QColor qcolour(Rgb rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

constexpr const char* kSlotCaptions[] = {"Page Background :", "Table Background :", "Cell background :",
                                         "Table Border :",    "Font color :",        "Links :",
                                         "Visited :",         "Future1 :",           "Future2 :"};

class EventHook : public QObject {
public:
    EventHook(QEvent::Type type, std::function<void(QEvent*)> handler, QObject* parent)
        : QObject(parent), type_(type), handler_(std::move(handler)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == type_) handler_(event);
        return QObject::eventFilter(watched, event);
    }

private:
    QEvent::Type type_;
    std::function<void(QEvent*)> handler_;
};

}  // namespace

IndexedOptionGroup::IndexedOptionGroup(const QStringList& captions, QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < captions.size(); ++i) {
        auto* radio = new QRadioButton(captions[i], this);
        radio->setAutoExclusive(false);
        connect(radio, &QRadioButton::clicked, this, [this, i] { emit chosen(i); });
        layout->addWidget(radio);
        members.push_back(radio);
    }
}

void IndexedOptionGroup::showSelected(int index) {
    for (std::size_t i = 0; i < members.size(); ++i) {
        QSignalBlocker block(members[i]);
        members[i]->setChecked(static_cast<int>(i) == index);
    }
}

ColourFields::ColourFields(QWidget* parent) : QWidget(parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    QFont courier("Courier");
    courier.setStyleHint(QFont::TypeWriter);
    for (int i = 0; i < kSlots; ++i) {
        auto* label = new QLabel(kSlotCaptions[i], this);
        label->setObjectName(QString("lblColordesc_%1").arg(i));
        label->installEventFilter(this);
        auto* field = new QLineEdit(this);
        field->setObjectName(QString("txtColorHex_%1").arg(i));
        field->setFont(courier);
        field->setMaximumWidth(90);
        field->setAutoFillBackground(true);
        field->installEventFilter(this);
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString& t) { emit edited(i, t); });
        label->setBuddy(field);
        grid->addWidget(label, i, 0);
        grid->addWidget(field, i, 1);
        if (i >= 7) label->hide(), field->hide();  // reserved slots
        fields_.push_back(field);
        labels_.push_back(label);
    }
}

void ColourFields::paint(int slot, const ColourEditor::Paint& paint) {
    QPalette palette = fields_[static_cast<std::size_t>(slot)]->palette();
    palette.setColor(QPalette::Base, qcolour(paint.background));
    palette.setColor(QPalette::Text, qcolour(paint.text));
    fields_[static_cast<std::size_t>(slot)]->setPalette(palette);
}

bool ColourFields::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        for (std::size_t i = 0; i < fields_.size(); ++i) {
            if (watched == fields_[i]) emit clicked(static_cast<int>(i));
        }
        for (QLabel* label : labels_) {
            if (watched == label) emit labelClicked();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void keepPlaceWhenHidden(QWidget* w) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
}

void fitText(QLineEdit* edit, const QString& text) {
    const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    const QMargins margins = edit->textMargins();
    const int needed = edit->fontMetrics().horizontalAdvance(text) + 2 * frame + margins.left() +
                       margins.right() + 8;  // 8: the edit's own inner margins and the cursor
    if (edit->minimumWidth() < needed) edit->setMinimumWidth(needed);
}

void onEvent(QObject* watched, QEvent::Type type, std::function<void(QEvent*)> handler) {
    watched->installEventFilter(new EventHook(type, std::move(handler), watched));
}

void onClick(QWidget* parent, const char* name, std::function<void()> handler) {
    QWidget* w = parent->findChild<QWidget*>(name);
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        QObject::connect(button, &QAbstractButton::clicked, parent,
                         [handler = std::move(handler)] { handler(); });
    } else {
        QObject::connect(qobject_cast<ClickableLabel*>(w), &ClickableLabel::clicked, parent,
                         handler);
    }
}

void ClickableLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Space:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            emit clicked();
            break;
        default:
            QLabel::keyPressEvent(event);
    }
}

PreviewWidget::PreviewWidget(Engine& engine, QWidget* parent) : QWidget(parent), engine_(engine) {
    setMinimumSize(200, 232);
}

QSize PreviewWidget::sizeHint() const { return {200, 232}; }

void PreviewWidget::paintEvent(QPaintEvent*) {
    const PreviewModel& p = engine_.preview();
    QPainter painter(this);
    // Marks are laid out in twips on the preview's own area; scale that onto the widget.
    const double sx = width() / double(p.page.width), sy = height() / double(p.page.height);
    auto rect = [&](const Mark& m) {
        return QRectF((m.left - p.page.left) * sx, (m.top - p.page.top) * sy, m.width * sx, m.height * sy);
    };
    auto draw = [&](const Mark& m) {
        if (!m.visible) return;
        QRectF r = rect(m);
        if (m.opaque) painter.fillRect(r, qcolour(m.back));
        if (m.patterned) painter.fillRect(r, QBrush(qcolour(m.fill), Qt::HorPattern));
        if (m.border == LineStyle::None) return;
        // Outlines on whole pixels inside their mark, those at the widget's edges on its last
        // row and column, at any scale: solid ones are filled as four bars.
        const int w = std::max(1, m.borderWidth);
        const double left = std::round(r.left()), top = std::round(r.top());
        const double right = std::min<double>(std::round(r.right()), width());
        const double bottom = std::min<double>(std::round(r.bottom()), height());
        const QColor colour = qcolour(m.borderColour);
        if (m.border == LineStyle::DashDotDot) {
            QPen pen(colour, w, Qt::DashDotDotLine);
            painter.setPen(pen);
            const double half = w / 2.0;
            painter.drawRect(QRectF(left + half, top + half, right - left - w, bottom - top - w));
            return;
        }
        painter.fillRect(QRectF(left, top, right - left, w), colour);
        painter.fillRect(QRectF(left, bottom - w, right - left, w), colour);
        painter.fillRect(QRectF(left, top, w, bottom - top), colour);
        painter.fillRect(QRectF(right - w, top, w, bottom - top), colour);
    };
    for (const Mark* m : {&p.page, &p.windows, &p.pic, &p.desc, &p.outerTable, &p.properties, &p.files,
                          &p.iconDirs, &p.iconFiles, &p.upload1, &p.upload2, &p.w3cHtml, &p.w3cCss}) {
        draw(*m);
    }
    if (p.headingVisible) {
        painter.setPen(Qt::black);
        painter.drawText(QPointF((p.headingLeft - p.page.left) * sx, (p.headingTop - p.page.top) * sy + 12),
                         QString::fromStdString(p.heading));
    }
}

}  // namespace tabulo::gui
