#include "ui/path_edit.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "ui/text_bridge.h"
#include "ui/ui_texts.h"

namespace {

// A local file's or folder's path without the trailing separator a folder's URL carries.
QString LocalPath(const QUrl& url) { return QDir::cleanPath(url.toLocalFile()); }

bool IsArchiveName(const QString& path) {
    return path.endsWith(QStr("." + ArchiveExt), Qt::CaseInsensitive);
}

}  // namespace

QString DroppedArchive(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return QString();
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return QString();
    const QString path = urls.front().toLocalFile();
    return IsArchiveName(path) && QFileInfo(path).isFile() ? path : QString();
}

QString DroppedPath(const QMimeData& data) {
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls())
            if (url.isLocalFile()) return LocalPath(url);
        return QString();
    }
    if (!data.hasText()) return QString();
    const QString line = data.text().section(QLatin1Char('\n'), 0, 0).trimmed();
    const QUrl url(line);
    return url.isLocalFile() ? LocalPath(url) : line;
}

TPathEdit::TPathEdit(QWidget* parent) : QLineEdit(parent) { setAcceptDrops(true); }

void TPathEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedPath(*event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    // A copy: text dragged out of another box stays there.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TPathEdit::dragMoveEvent(QDragMoveEvent* event) {
    // The whole text is replaced, so no insertion point follows the mouse.
    if (DroppedPath(*event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void TPathEdit::dropEvent(QDropEvent* event) {
    const QString path = DroppedPath(*event->mimeData());
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setText(path);
    setFocus(Qt::OtherFocusReason);
}
