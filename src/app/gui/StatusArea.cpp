#include "gui/StatusArea.h"

#include <QHBoxLayout>

#include "gui/QtStrings.h"
#include "gui/Widgets.h"

namespace tabulo::gui {

void StatusArea::build(QBoxLayout* into, QWidget* parent) {
    status_ = new QLabel(parent);
    status_->setObjectName("lblStatus");
    // Three lines high whatever it says, so a run's lines never move the rest.
    status_->setWordWrap(true);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status_->setFixedHeight(3 * status_->fontMetrics().lineSpacing() + 4);
    into->addWidget(status_);
    auto* report = new QHBoxLayout;
    summary_ = new QLabel(parent);
    summary_->setObjectName("lblRunSummary");
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    openPage_ = new QPushButton("Open &page", parent);
    openPage_->setObjectName("cmdOpenPage");
    for (QWidget* w : std::initializer_list<QWidget*>{summary_, openPage_}) {
        keepPlaceWhenHidden(w);
        w->hide();
    }
    report->addWidget(summary_, 1);
    report->addWidget(openPage_);
    into->addLayout(report);
}

void StatusArea::say(const std::string& text) {
    if (!status_) return;  // the engine may speak before the window is built
    status_->setText(q(text));
    status_->setToolTip(q(text));
}

void StatusArea::showReport(const std::optional<RunReport>& report) {
    summary_->setText(report ? q(report->text) : QString());
    summary_->setToolTip(report ? q(report->page) : QString());
    summary_->setVisible(report.has_value());
    openPage_->setVisible(report.has_value());
}

}  // namespace tabulo::gui
