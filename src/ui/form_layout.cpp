#include "ui/form_layout.h"

#include <algorithm>

#include "ui/window_placement.h"

namespace {

// The tree's anchors were taken against the outer design size, so its right and bottom
// edges keep these distances to the client area's edges.
constexpr int kTreeRightInset = 520 - 433;
constexpr int kTreeBottomInset = 236 - 192;
constexpr int kTreeGap = 10;
constexpr int kTreeExtraHeight = 128;

// The filter line, while shown, takes this much of the tree's height at its foot.
constexpr int kFilterHeight = 21;
constexpr int kFilterGap = 4;

}  // namespace

void TFormLayout::PlaceWindow() {
    window_.setMinimumSize(kMinClientWidth, kMinClientHeight);
    window_.move(kDesignLeft, kDesignTop);
    window_.resize(kDesignClientWidth, kDesignClientHeight);
    normalFrame_ = new TNormalFrame(&window_);
}

void TFormLayout::SetOuterSize(int width, int height) {
    window_.resize(width - kFrameWidth, window_.height());
    window_.resize(window_.width(), height - kFrameHeight);
}

QRect TFormLayout::NormalOuterGeometry() const {
    if (!window_.isMaximized() && !window_.isFullScreen())
        return QRect(window_.x(), window_.y(), OuterWidth(), OuterHeight());
    // normalGeometry() is the client area's; the frame's corner lies where the normal frame
    // put it.
    const QRect normal = window_.normalGeometry();
    return QRect(normal.topLeft() - normalFrame_->ClientOffset(),
                 QSize(normal.width() + kFrameWidth, normal.height() + kFrameHeight));
}

void TFormLayout::KeepOnScreen() {
    const QRect outer(window_.x(), window_.y(), OuterWidth(), OuterHeight());
    const QRect kept = FittedInto(outer, ScreenAreaHolding(outer));
    if (kept.size() != outer.size()) SetOuterSize(kept.width(), kept.height());
    window_.move(kept.topLeft());
}

QRect TFormLayout::TreeDesign(const QRect& bar, const QRect& info) {
    const int left = bar.left();
    const int top = info.top() + info.height() + kTreeGap;
    return QRect(left, top, info.left() + info.width() - left, bar.top() - kTreeGap - top + kTreeExtraHeight);
}

void TFormLayout::FollowTree(QWidget* tree, QWidget* filter) {
    tree_ = tree;
    filter_ = filter;
}

void TFormLayout::LayOut() const {
    const int grow = window_.width() - kDesignClientWidth;
    for (const TPlacedControl& placed : placed_) {
        QRect r = placed.design;
        if (r.isEmpty()) r.setSize(placed.control->size());
        if (placed.anchors == TAnchors::TopRight) r.translate(grow, 0);
        if (placed.anchors == TAnchors::LeftTopRight) r.setWidth(r.width() + grow);
        placed.control->setGeometry(r);
    }
    if (tree_ == nullptr) return;
    const QPoint corner = tree_->pos();
    const int treeWidth = std::max(0, window_.width() - kTreeRightInset - corner.x());
    int treeHeight = std::max(0, window_.height() - kTreeBottomInset - corner.y());
    if (filter_ != nullptr && !filter_->isHidden()) {
        treeHeight = std::max(0, treeHeight - kFilterHeight - kFilterGap);
        filter_->setGeometry(corner.x(), corner.y() + treeHeight + kFilterGap, treeWidth, kFilterHeight);
    }
    tree_->setGeometry(corner.x(), corner.y(), treeWidth, treeHeight);
}
