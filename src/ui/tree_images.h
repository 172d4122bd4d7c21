// The 16 x 16 icons of the contents tree, drawn at start-up.
#pragma once

#include <QPixmap>
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
