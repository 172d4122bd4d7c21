// The window's path boxes: a line edit on which a dropped file or folder replaces the text
// with its path, as the user would type it (a line edit's own drop inserts the dropped text
// at the cursor, which joins two paths into one that names nothing), and the paths that
// drops carry.
#pragma once

#include <QLineEdit>

class QMimeData;

class TPathEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TPathEdit(QWidget* parent = nullptr);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

// The one local archive file a drop holds, which the window opens; "" for anything else.
QString DroppedArchive(const QMimeData* data);

// The path a drop carries: the local path of its first local file or folder, else its text's
// first line (a file: URL there read as its path). Empty when the drop carries neither.
QString DroppedPath(const QMimeData& data);
