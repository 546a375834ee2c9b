// The drawing surface PaintBox1: copies the canvas image to where it lies on the surface.
#include "window/PaintBox.h"

#include <QPaintEvent>
#include <QPainter>

#include "render/Canvas.h"

TPaintBox::TPaintBox(const Canvas& canvas, QWidget* parent) : QWidget(parent), canvas_(canvas) {
    setObjectName(QStringLiteral("PaintBox1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void TPaintBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QImage& image = canvas_.image();
    const QRect imageRect(canvas_.scrollX(), canvas_.scrollY(), image.width(), image.height());
    // Parts of the exposed region that the canvas does not cover yet (the viewport grew and
    // the redraw is still to come) show the background.
    const QRegion uncovered = event->region() - QRegion(imageRect);
    for (const QRect& r : uncovered) painter.fillRect(r, Qt::black);
    if (!image.isNull()) {
        const QRect target = event->rect() & imageRect;
        if (!target.isEmpty())
            painter.drawImage(target, image, target.translated(-imageRect.topLeft()));
    }
}
