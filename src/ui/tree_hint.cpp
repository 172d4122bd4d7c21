#include "ui/tree_hint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>

#include "ui/contents_tree.h"
#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

namespace {

constexpr int kHintMargin = 8;

}  // namespace

TTreeHint::TTreeHint(TContentsTree& tree) : QObject(&tree), tree_(tree), viewport_(tree.viewport()) {
    setObjectName(QStringLiteral("TreeHint"));
    viewport_->installEventFilter(this);
}

QString TTreeHint::Text() const {
    if (tree_.topLevelItemCount() == 0) return QStr(EmptyTreeHint);
    if (tree_.FilterFindsNothing()) return QStr(NoMatchHint);
    return QString();
}

bool TTreeHint::eventFilter(QObject* watched, QEvent* event) {
    // The viewport's events also come while the tree is being destroyed, when it is no view
    // any more: only its paint events, which come while it is whole, ask anything of it.
    if (watched == viewport_ && event->type() == QEvent::Paint) {
        // The view paints its rows first; the words go over the empty area.
        viewport_->removeEventFilter(this);
        QCoreApplication::sendEvent(watched, event);
        viewport_->installEventFilter(this);
        Paint();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TTreeHint::Paint() {
    const QString text = Text();
    if (text.isEmpty()) return;
    QPainter painter(viewport_);
    painter.setPen(tree_.palette().color(QPalette::Disabled, QPalette::Text));
    const QRect area = viewport_->rect().adjusted(kHintMargin, kHintMargin, -kHintMargin, -kHintMargin);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
}
