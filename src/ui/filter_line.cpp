#include "ui/filter_line.h"

#include <QKeyEvent>
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

void TFilterLine::keyPressEvent(QKeyEvent* event) {
    const bool toTree = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Down;
    if (!toTree || event->modifiers() & ~Qt::KeypadModifier || tree_ == nullptr) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // What was typed last applies now, not after the pause.
    if (pause_->isActive() || tree_->FilterText() != text()) {
        pause_->stop();
        tree_->SetFilter(text());
    }
    tree_->SelectFirstShownFile();
    event->accept();
}
