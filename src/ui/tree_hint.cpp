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

TTreeHint::TTreeHint(TContentsTree& tree) : QObject(&tree), tree_(tree) {
    setObjectName(QStringLiteral("TreeHint"));
    tree_.viewport()->installEventFilter(this);
}

QString TTreeHint::Text() const {
    if (tree_.topLevelItemCount() == 0) return QStr(EmptyTreeHint);
    if (tree_.FilterFindsNothing()) return QStr(NoMatchHint);
    return QString();
}

bool TTreeHint::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tree_.viewport() && event->type() == QEvent::Paint) {
        // The view paints its rows first; the words go over the empty area.
        tree_.viewport()->removeEventFilter(this);
        QCoreApplication::sendEvent(watched, event);
        tree_.viewport()->installEventFilter(this);
        Paint();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TTreeHint::Paint() {
    const QString text = Text();
    if (text.isEmpty()) return;
    QPainter painter(tree_.viewport());
    painter.setPen(tree_.palette().color(QPalette::Disabled, QPalette::Text));
    const QRect area = tree_.viewport()->rect().adjusted(kHintMargin, kHintMargin, -kHintMargin, -kHintMargin);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
}
