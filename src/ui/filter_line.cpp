#include "ui/filter_line.h"

#include <QTimer>

#include "ui/contents_tree.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

namespace {

// Typing into the filter is applied once the keys pause this long.
constexpr int kFilterPauseMs = 150;

}  // namespace

TFilterLine::TFilterLine(TContentsTree* tree, QWidget* parent)
    : QLineEdit(parent), tree_(tree), pause_(new QTimer(this)) {
    setObjectName(QStringLiteral("TreeFilter"));
    setPlaceholderText(QStr(FilterPlaceholder));
    setClearButtonEnabled(true);
    hide();
    pause_->setObjectName(QStringLiteral("FilterTimer"));
    pause_->setSingleShot(true);
    pause_->setInterval(kFilterPauseMs);
    connect(this, &QLineEdit::textChanged, pause_, qOverload<>(&QTimer::start));
    connect(pause_, &QTimer::timeout, this, [this] {
        if (tree_ != nullptr) tree_->SetFilter(text());
    });
}

void TFilterLine::Empty() {
    clear();
    pause_->stop();
    if (tree_ != nullptr) tree_->SetFilter(QString());
}
