#pragma once

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <optional>
#include <string>

#include "run/RunSummary.h"

namespace tabulo::gui {

// The status line, and under it what the last run from here did with a button that opens its
// top page (cmdOpenPage). The report keeps its place while hidden.
class StatusArea {
public:
    void build(QBoxLayout* into, QWidget* parent);
    void say(const std::string& text);
    // The engine's report of the last run; none hides it.
    void showReport(const std::optional<RunReport>& report);
    void hideReport() {
        summary_->hide();
        openPage_->hide();
    }

private:
    QLabel* status_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* openPage_ = nullptr;
};

}  // namespace tabulo::gui
