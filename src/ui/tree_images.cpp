#include "ui/tree_images.h"

#include <QPainter>
#include <QPolygon>

namespace {

const QColor kFolderEdge(128, 96, 24);
const QColor kFolderBack(232, 184, 64);
const QColor kFolderFront(252, 216, 112);
const QColor kPageColour(255, 255, 255);
const QColor kPageLines(160, 160, 160);

QPixmap EmptyImage() {
    QPixmap image(kTreeImageSize, kTreeImageSize);
    image.fill(Qt::transparent);
    return image;
}

void DrawFolderBack(QPainter& p) {
    p.setPen(kFolderEdge);
    p.setBrush(kFolderBack);
    p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(6, 3), QPoint(7, 4), QPoint(14, 4), QPoint(14, 13), QPoint(1, 13)}));
}

QPixmap ClosedFolder() {
    QPixmap image = EmptyImage();
    QPainter p(&image);
    DrawFolderBack(p);
    p.setPen(kFolderFront);
    p.drawLine(2, 6, 13, 6);
    return image;
}

QPixmap OpenFolder() {
    QPixmap image = EmptyImage();
    QPainter p(&image);
    DrawFolderBack(p);
    p.setPen(kPageColour);
    p.drawLine(3, 6, 12, 6);
    // The front flap, tilted towards the viewer.
    p.setPen(kFolderEdge);
    p.setBrush(kFolderFront);
    p.drawPolygon(QPolygon({QPoint(4, 7), QPoint(15, 7), QPoint(12, 13), QPoint(1, 13)}));
    return image;
}

QPixmap ClosedBook(const QColor& cover) {
    QPixmap image = EmptyImage();
    QPainter p(&image);
    p.setPen(cover.darker(170));
    p.setBrush(kPageColour);
    p.drawRect(4, 2, 10, 12);
    p.setBrush(cover);
    p.drawRect(3, 1, 10, 12);
    p.setPen(cover.darker(140));
    p.drawLine(5, 2, 5, 12);
    p.setPen(cover.lighter(150));
    p.drawLine(7, 4, 11, 4);
    return image;
}

QPixmap OpenBook(const QColor& cover) {
    QPixmap image = EmptyImage();
    QPainter p(&image);
    p.setPen(cover.darker(170));
    p.setBrush(cover);
    p.drawRect(0, 4, 15, 10);
    p.setBrush(kPageColour);
    p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(7, 4), QPoint(7, 13), QPoint(1, 12)}));
    p.drawPolygon(QPolygon({QPoint(8, 4), QPoint(14, 3), QPoint(14, 12), QPoint(8, 13)}));
    p.setPen(kPageLines);
    for (int y = 6; y <= 10; y += 2) {
        p.drawLine(2, y, 6, y);
        p.drawLine(9, y, 13, y);
    }
    return image;
}

QPixmap Pencil() {
    QPixmap image = EmptyImage();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(80, 64, 16), 4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(13.5, 2.5), QPointF(5.0, 11.0));
    p.setPen(QPen(QColor(240, 200, 40), 2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(13.5, 2.5), QPointF(5.0, 11.0));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawPolygon(QPolygonF({QPointF(5.8, 12.2), QPointF(3.8, 10.2), QPointF(2.0, 14.0)}));
    return image;
}

QPixmap RedCross() {
    QPixmap image = EmptyImage();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 24, 24), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(3, 3, 12, 12);
    p.drawLine(12, 3, 3, 12);
    return image;
}

}  // namespace

TImageList CreateTreeImageList() {
    const QColor green(40, 150, 60);
    const QColor red(190, 40, 40);
    TImageList images(kImageSlotCount, EmptyImage());
    images[kImageClosedFolder] = ClosedFolder();
    images[kImageOpenFolder] = OpenFolder();
    images[kImageClosedBook] = ClosedBook(green);
    images[kImageOpenBook] = OpenBook(green);
    images[kImageClosedRedBook] = ClosedBook(red);
    images[kImagePencil] = Pencil();
    images[kImageRedCross] = RedCross();
    return images;
}

QIcon TNodeIcons::Icon(int imageIndex, int selectedIndex) const {
    for (const auto& [indices, icon] : icons_)
        if (indices == std::make_pair(imageIndex, selectedIndex)) return icon;
    QIcon icon;
    const auto valid = [this](int i) { return i >= 0 && static_cast<size_t>(i) < images_.size(); };
    if (valid(imageIndex)) icon.addPixmap(images_[imageIndex], QIcon::Normal);
    if (valid(selectedIndex)) icon.addPixmap(images_[selectedIndex], QIcon::Selected);
    icons_.emplace_back(std::make_pair(imageIndex, selectedIndex), icon);
    return icon;
}
