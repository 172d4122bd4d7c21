// The window's place and size, and where its controls stand in it: each at its designed
// place, moved or widened as the window grows wider; below them the contents tree, which
// takes what the window grows in both directions, with the filter line at its foot while
// that is shown.
#pragma once

#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

class TNormalFrame;

// The window as designed: position and client size, and the frame around the client area
// (outer 520 x 236); it is never smaller than the minimum client size.
inline constexpr int kDesignLeft = 510;
inline constexpr int kDesignTop = 397;
inline constexpr int kDesignClientWidth = 512;
inline constexpr int kDesignClientHeight = 207;
inline constexpr int kFrameWidth = 520 - kDesignClientWidth;
inline constexpr int kFrameHeight = 236 - kDesignClientHeight;
inline constexpr int kMinClientWidth = 450;
inline constexpr int kMinClientHeight = 335;

// Which edges of the window a control keeps its distances to as the window grows wider.
enum class TAnchors { LeftTop, TopRight, LeftTopRight };

class TFormLayout {
public:
    explicit TFormLayout(QWidget& window) : window_(window) {}

    // The window at its designed place and size, never smaller than the minimum.
    void PlaceWindow();
    // The window's outer size, frame included, as the settings file keeps it.
    int OuterWidth() const { return window_.width() + kFrameWidth; }
    int OuterHeight() const { return window_.height() + kFrameHeight; }
    void SetOuterSize(int width, int height);
    // The outer place and size the window has when neither maximized nor full screen.
    QRect NormalOuterGeometry() const;
    // Moves the window, and shrinks it where needed, onto the screen it is mostly on (the
    // primary screen when it is on none).
    void KeepOnScreen();

    // A new control of the window, named name, at its designed place; one designed without
    // a size keeps the size it gives itself.
    template <class TControl>
    TControl* Place(const char* name, const QRect& design, TAnchors anchors) {
        auto* control = new TControl(&window_);
        control->setObjectName(QString::fromLatin1(name));
        control->setGeometry(design);
        placed_.push_back({control, design, anchors});
        return control;
    }

    // The contents tree's designed place: below the row of the Info button (info), from the
    // progress bar's left edge (bar) to the Info button's right edge.
    static QRect TreeDesign(const QRect& bar, const QRect& info);
    // The tree keeps its corner and follows the window's size, the filter line at its foot;
    // either may be deleted before the layout.
    void FollowTree(QWidget* tree, QWidget* filter);

    // Every control at its place for the window's size now.
    void LayOut() const;

private:
    struct TPlacedControl {
        QWidget* control;
        QRect design;
        TAnchors anchors;
    };

    QWidget& window_;
    TNormalFrame* normalFrame_ = nullptr;
    std::vector<TPlacedControl> placed_;
    QPointer<QWidget> tree_;
    QPointer<QWidget> filter_;
};
