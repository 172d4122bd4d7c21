// The filter line under the contents tree: what is typed narrows the tree to the entries
// whose path holds it, once the keys pause. Enter and Down go to the first file it shows.
#pragma once

#include <QLineEdit>
#include <QPointer>

class QTimer;
class TContentsTree;

class TFilterLine : public QLineEdit {
    Q_OBJECT
public:
    // Hidden until shown; tree may be deleted before the line.
    TFilterLine(TContentsTree* tree, QWidget* parent);

    // The text emptied at once, and the tree shown whole.
    void Empty();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<TContentsTree> tree_;
    QTimer* pause_;
};
