// The immediate-drawing canvas with device-context semantics on a viewport-sized image.
#include "render/Canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <QtMath>
#include <cmath>
#include <cstdlib>

namespace {

QColor Colour(uint32_t rgb) { return QColor::fromRgb(QRgb(0xFF000000u | rgb)); }

}  // namespace

bool ClipSegment(double& x0, double& y0, double& x1, double& y1, double left, double top,
                 double right, double bottom) {
    const double dx = x1 - x0, dy = y1 - y0;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - left, right - x0, y0 - top, bottom - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
    }
    const double sx = x0, sy = y0;
    if (t1 < 1.0) x1 = sx + t1 * dx, y1 = sy + t1 * dy;
    if (t0 > 0.0) x0 = sx + t0 * dx, y0 = sy + t0 * dy;
    return true;
}

Canvas::Canvas() = default;

Canvas::~Canvas() { EndPainter(); }

const QImage& Canvas::image() const {
    EndPainter();
    return image_;
}

QImage& Canvas::image() {
    EndPainter();
    return image_;
}

QPainter& Canvas::Painter() {
    if (!painter_) painter_ = std::make_unique<QPainter>(&image_);
    QPainter& p = *painter_;
    // Every figure starts from the same state, whatever the previous one left.
    p.resetTransform();
    p.translate(-scrollX_, -scrollY_);
    p.setClipping(false);
    p.setCompositionMode(penMode_ == PenMode::Xor ? QPainter::RasterOp_SourceXorDestination
                                                  : QPainter::CompositionMode_SourceOver);
    p.setBackgroundMode(Qt::TransparentMode);
    p.setBrush(Qt::NoBrush);
    return p;
}

void Canvas::EndPainter() const {
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

void Canvas::Resize(int width, int height) {
    EndPainter();
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (image_.width() == width && image_.height() == height) return;
    image_ = QImage(width, height, QImage::Format_RGB32);
    image_.fill(Qt::black);
}

uint32_t Canvas::Pixel(int x, int y) const {
    EndPainter();
    int px = x - scrollX_, py = y - scrollY_;
    if (image_.isNull() || px < 0 || py < 0 || px >= image_.width() || py >= image_.height())
        return 0;
    return image_.pixel(px, py) & 0xFFFFFFu;
}

// One pixel of the pen: set in copy mode, inverted against the pen colour in XOR mode so
// that a figure drawn twice in XOR mode leaves no trace, its end pixel included.
void Canvas::PlotSpan(int x, int y) {
    int px = x - scrollX_, py = y - scrollY_;
    if (px < 0 || py < 0 || px >= image_.width() || py >= image_.height()) return;
    QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(py));
    if (penMode_ == PenMode::Xor)
        row[px] = 0xFF000000u | ((row[px] ^ penRgb_) & 0xFFFFFFu);
    else
        row[px] = 0xFF000000u | penRgb_;
}

void Canvas::SetPixel(int x, int y, uint32_t rgb) {
    EndPainter();
    uint32_t keep = penRgb_;
    penRgb_ = rgb;
    PlotSpan(x, y);
    penRgb_ = keep;
}

// Bresenham from (x0, y0) towards (x1, y1), leaving out (x1, y1).
void Canvas::ThinLine(int x0, int y0, int x1, int y1) {
    long dx = std::labs(long(x1) - x0), dy = std::labs(long(y1) - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    // Lines far outside the viewport are clipped first, so that a line across a huge
    // surface costs no more than the pixels it can show.
    long steps = std::max(dx, dy);
    if (steps > 4 * long(image_.width() + image_.height()) + 64) {
        QRectF view(scrollX_ - 2, scrollY_ - 2, image_.width() + 4, image_.height() + 4);
        // The painter's fixed-point rasteriser cannot take ends millions of pixels away;
        // the part that can show is cut out first, along the same line.
        double ax = x0, ay = y0, bx = x1, by = y1;
        if (!ClipSegment(ax, ay, bx, by, view.left() - 8, view.top() - 8, view.right() + 8,
                         view.bottom() + 8))
            return;
        QLineF l(ax, ay, bx, by);
        // Fall back to the painter, which clips; long lines are never rubber bands
        // short enough for the last-pixel rule to matter at the viewport's edge.
        QPainter& painter = Painter();
        painter.setClipRect(view);
        painter.setPen(QPen(Colour(penRgb_), 0));
        painter.drawLine(l);
        return;
    }
    EndPainter();
    long err = (dx > dy ? dx : -dy) / 2;
    long x = x0, y = y0;
    while (!(x == x1 && y == y1)) {
        PlotSpan(int(x), int(y));
        long e2 = err;
        if (e2 > -dx) {
            err -= dy;
            x += sx;
        }
        if (e2 < dy) {
            err += dx;
            y += sy;
        }
    }
}

void Canvas::LineTo(int x, int y) {
    if (image_.isNull()) return;
    // Lines wholly off the viewport cost nothing: most of a large drawing is off screen
    // when zoomed in.
    int pad = penWidth_ + 2;
    int left = scrollX_ - pad, top = scrollY_ - pad;
    int right = scrollX_ + image_.width() + pad, bottom = scrollY_ + image_.height() + pad;
    if ((curX_ < left && x < left) || (curX_ > right && x > right) ||
        (curY_ < top && y < top) || (curY_ > bottom && y > bottom)) {
        curX_ = x;
        curY_ = y;
        return;
    }
    if (penWidth_ <= 1) {
        ThinLine(curX_, curY_, x, y);
    } else {
        QPainter& painter = Painter();
        painter.setPen(QPen(Colour(penRgb_), penWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(curX_, curY_, x, y);
    }
    curX_ = x;
    curY_ = y;
}

void Canvas::Polyline(const int* xy, int points) {
    if (points < 2) return;
    MoveTo(xy[0], xy[1]);
    for (int i = 1; i < points; ++i) LineTo(xy[2 * i], xy[2 * i + 1]);
}

namespace {

void PreparePainter(QPainter& p, const Canvas& c, bool withBrush) {
    p.setPen(QPen(Colour(c.penColour()), c.penWidth() <= 1 ? 0 : c.penWidth()));
    if (withBrush && c.brushStyle() == Canvas::BrushStyle::Solid)
        p.setBrush(Colour(c.brushColour()));
    else
        p.setBrush(Qt::NoBrush);
}

// The bounding box as a device context takes it: right and bottom exclusive.
QRectF BoxOf(int left, int top, int right, int bottom) {
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    return QRectF(left, top, std::max(right - left - 1, 0), std::max(bottom - top - 1, 0));
}

// Clips what is far away: the painter's rasteriser is slow on figures much larger
// than the viewport.
bool Visible(const QRectF& box, const QImage& image, int sx, int sy, int pen) {
    QRectF view(sx - pen - 2, sy - pen - 2, image.width() + 2 * pen + 4,
                image.height() + 2 * pen + 4);
    return box.adjusted(-pen, -pen, pen, pen).intersects(view);
}

}  // namespace

void Canvas::Ellipse(int left, int top, int right, int bottom) {
    if (image_.isNull()) return;
    QRectF box = BoxOf(left, top, right, bottom);
    if (!Visible(box, image_, scrollX_, scrollY_, penWidth_)) return;
    QPainter& painter = Painter();
    PreparePainter(painter, *this, true);
    painter.drawEllipse(box);
}

void Canvas::Arc(int left, int top, int right, int bottom, int x3, int y3, int x4, int y4) {
    if (image_.isNull()) return;
    QRectF box = BoxOf(left, top, right, bottom);
    if (!Visible(box, image_, scrollX_, scrollY_, penWidth_)) return;
    QPointF c = box.center();
    // Screen y grows downwards; a counter-clockwise angle on screen measures against -y.
    double a3 = std::atan2(-(y3 - c.y()), x3 - c.x()) * 180.0 / M_PI;
    double a4 = std::atan2(-(y4 - c.y()), x4 - c.x()) * 180.0 / M_PI;
    double span = a4 - a3;
    while (span <= 0.0) span += 360.0;
    while (span > 360.0) span -= 360.0;
    QPainter& painter = Painter();
    PreparePainter(painter, *this, false);
    painter.drawArc(box, int(std::lround(a3 * 16)), int(std::lround(span * 16)));
}

void Canvas::FillRect(int left, int top, int right, int bottom, uint32_t rgb) {
    if (image_.isNull()) return;
    QPainter& painter = Painter();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.fillRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), Colour(rgb));
}

void Canvas::TextOut(int x, int y, const QString& text, int escapementTenths) {
    if (image_.isNull() || text.isEmpty()) return;
    QPainter& painter = Painter();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setFont(font_);
    QFontMetrics fm(font_);
    painter.translate(x, y);
    painter.rotate(-escapementTenths / 10.0);
    if (brushStyle_ == BrushStyle::Solid) {
        painter.setBackgroundMode(Qt::OpaqueMode);
        painter.setBackground(Colour(brushRgb_));
    }
    painter.setPen(Colour(textRgb_));
    painter.drawText(0, fm.ascent(), text);
}

int Canvas::TextHeight() const { return QFontMetrics(font_).height(); }
