#include "ui/preview_split.h"

#include <QApplication>
#include <QScreen>
#include <QSplitter>
#include <algorithm>

#include "ui/form_layout.h"
#include "ui/preview_pane.h"

TPreviewSplit::TPreviewSplit(QWidget& window, TFormLayout& layout, QWidget& tree, QWidget* filter, TPreviewPane& pane)
    : window_(window), layout_(layout), tree_(&tree), filter_(filter), pane_(pane) {
    splitter_ = new QSplitter(Qt::Horizontal, &window);
    splitter_->setObjectName(QStringLiteral("PreviewSplitter"));
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(&pane);
    splitter_->hide();
    pane.hide();
}

void TPreviewSplit::Show(bool widen) {
    if (shown_ || tree_ == nullptr) return;
    shown_ = true;
    const QRect place = tree_->geometry();
    const bool hadFocus = tree_->hasFocus();
    splitter_->setGeometry(place);
    splitter_->insertWidget(0, tree_);
    tree_->show();
    pane_.show();
    splitter_->show();
    layout_.FollowTree(splitter_, filter_);
    const int grow = paneWidth_ + splitter_->handleWidth();
    widenedBy_ = -1;
    if (widen && !window_.isMaximized() && !window_.isFullScreen()) {
        int width = window_.width() + grow;
        if (const QScreen* screen = window_.screen()) {
            const QRect free = screen->availableGeometry();
            width = std::min(width, free.right() + 1 - window_.x() - kFrameWidth);
        }
        const int before = window_.width();
        window_.resize(std::max(width, before), window_.height());
        widenedBy_ = window_.width() - before;
    }
    layout_.LayOut();
    const int total = splitter_->width() - splitter_->handleWidth();
    splitter_->setSizes({std::max(total - paneWidth_, total / 3), std::min(paneWidth_, total * 2 / 3)});
    if (hadFocus) tree_->setFocus();
}

void TPreviewSplit::Hide() {
    if (!shown_) return;
    shown_ = false;
    paneWidth_ = std::max(pane_.width(), 100);
    // The width the pane took is given back: what showing it added, or the pane's own.
    const int shrink = widenedBy_ >= 0 ? widenedBy_ : pane_.width() + splitter_->handleWidth();
    const bool paneHadFocus = pane_.isAncestorOf(QApplication::focusWidget());
    if (tree_ != nullptr) {
        const QRect place = splitter_->geometry();
        tree_->setParent(&window_);
        tree_->setGeometry(place);
        tree_->show();
    }
    pane_.hide();
    splitter_->hide();
    layout_.FollowTree(tree_, filter_);
    if (!window_.isMaximized() && !window_.isFullScreen())
        window_.resize(std::max(window_.width() - shrink, kMinClientWidth), window_.height());
    layout_.LayOut();
    if (paneHadFocus && tree_ != nullptr) tree_->setFocus();
}
