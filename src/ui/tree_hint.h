// Grey words in the contents tree's empty area: how to open an archive while none is open,
// and "No match" while the filter shows no entry.
#pragma once

#include <QObject>
#include <QString>

class QWidget;
class TContentsTree;

class TTreeHint : public QObject {
    Q_OBJECT
public:
    // Paints over tree's viewport; owned by the tree.
    explicit TTreeHint(TContentsTree& tree);

    // What the empty area says now; "" where it shows entries.
    QString Text() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Paint();

    TContentsTree& tree_;
    QWidget* viewport_;  // the tree's, which lives as long as this filter
};
