// Where the preview pane stands: beside the contents tree in a splitter that takes the tree's
// place while the pane shows. Showing it widens the window by the pane's width where the
// screen has room; hiding it gives that width back. While hidden, the tree stands in the
// window itself, as it always did.
#pragma once

#include <QPointer>

class QSplitter;
class QWidget;
class TFormLayout;
class TPreviewPane;

class TPreviewSplit {
public:
    TPreviewSplit(QWidget& window, TFormLayout& layout, QWidget& tree, QWidget* filter, TPreviewPane& pane);

    bool Shown() const { return shown_; }
    // widen: the window grows by the pane's width (not when it was saved that wide).
    void Show(bool widen);
    void Hide();

private:
    QWidget& window_;
    TFormLayout& layout_;
    QPointer<QWidget> tree_;
    QPointer<QWidget> filter_;
    TPreviewPane& pane_;
    QSplitter* splitter_;
    bool shown_ = false;
    int paneWidth_ = 360;
    int widenedBy_ = -1;  // what the last Show added to the window's width; -1: it did not widen
};
