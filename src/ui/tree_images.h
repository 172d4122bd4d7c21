// The 16 x 16 icons of the contents tree, drawn at start-up.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <utility>
#include <vector>

using TImageList = std::vector<QPixmap>;

enum TTreeImage : int {
    kImageClosedFolder = 0,
    kImageOpenFolder = 1,
    kImageClosedBook = 2,
    kImageOpenBook = 3,
    kImageClosedRedBook = 4,
    kImagePencil = 5,
    kImageRedCross = 6,
    kImageSlotCount = 9,  // the last two slots stay empty
};

inline constexpr int kTreeImageSize = 16;

// Every slot filled; empty slots are fully transparent.
TImageList CreateTreeImageList();

// The icons of the tree's nodes, made from an image list: one of each pair of images (shown,
// and shown while selected), shared by every node that shows it, so that a hundred thousand
// nodes hold a few icons instead of one each.
class TNodeIcons {
public:
    explicit TNodeIcons(const TImageList& images) : images_(images) {}

    QIcon Icon(int imageIndex, int selectedIndex) const;

private:
    const TImageList& images_;
    mutable std::vector<std::pair<std::pair<int, int>, QIcon>> icons_;
};
