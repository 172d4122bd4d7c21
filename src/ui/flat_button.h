// The window's own push button: a standard push button drawn flat, with a one-pixel frame
// instead of the raised bevel, that Enter presses while it has the focus (a push button
// outside a dialog takes only Space).
#pragma once

#include <QPushButton>

class TFlatButton : public QPushButton {
    Q_OBJECT
public:
    explicit TFlatButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
