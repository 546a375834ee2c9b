// The drawing surface PaintBox1: a widget of the surface's full size that shows the canvas.
#pragma once

#include <QWidget>

class Canvas;

// The canvas holds only the visible part of the surface, from its scroll offset on; the
// widget copies it to that place and paints nothing of its own.
class TPaintBox : public QWidget {
    Q_OBJECT

public:
    TPaintBox(const Canvas& canvas, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Canvas& canvas_;
};
