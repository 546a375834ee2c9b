// Drawing of elements and markers in world coordinates, the clear and the full redraw.
#include "render/Renderer.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <cmath>

#include "model/DrawingStore.h"
#include "render/ColourTable.h"

namespace {

double Radians(double degrees) { return degrees * (1.0 / 180.0) * 3.14159265358979; }

// Boxes up to this many pixels go to the painter, whose rasteriser is exact there; larger
// ones are clipped to the viewport first (the painter loses the rim of a circle with a
// radius of some 65,000 pixels, and floods the view with its fill).
constexpr double kPainterFigure = 16384.0;

// Font sizes and coordinates in pixels, with trunc toward zero and a floor of 1 pixel.
int PixelSize(double v) {
    if (!(v >= 1.0)) return 1;
    if (v > 1e6) return 1000000;
    return int(std::trunc(v));
}

// The pixel size whose character cell is closest to cell pixels, for the face of font. The
// ratio of cell to em is measured once per face at a large size, where rounding is small.
int EmForCell(QFont font, int cell) {
    static QString face;
    static double cellPerEm = 0.0;
    if (cellPerEm <= 0.0 || font.family() != face) {
        font.setPixelSize(1000);
        face = font.family();
        cellPerEm = QFontMetricsF(font).height() / 1000.0;
        if (!(cellPerEm > 0.1 && cellPerEm < 10.0)) cellPerEm = 1.0;
    }
    return std::max(1, int(std::lround(cell / cellPerEm)));
}

}  // namespace

void Renderer::SetPenColour(int index) {
    if (auto rgb = ColourOf(index)) canvas_.SetPenColour(*rgb);
}

void Renderer::SetTextColour(int index) {
    if (auto rgb = ColourOf(index)) canvas_.SetTextColour(*rgb);
}

void Renderer::SetBrush(int index, int style) {
    uint32_t rgb = canvas_.brushColour();
    if (auto c = ColourOf(index)) rgb = *c;
    canvas_.SetBrush(rgb, style == 0 ? Canvas::BrushStyle::Solid : Canvas::BrushStyle::None);
}

void Renderer::SetPenWidth(int pixels) { canvas_.SetPenWidth(pixels); }

void Renderer::DrawLine(double x1, double y1, double x2, double y2) {
    double sx1 = view_.SurfaceX(x1), sy1 = view_.SurfaceY(y1);
    double sx2 = view_.SurfaceX(x2), sy2 = view_.SurfaceY(y2);
    if (!(View::InReach(sx1) && View::InReach(sy1) && View::InReach(sx2) && View::InReach(sy2))) {
        // An end beyond the exact range would be pulled in to its edge and tilt the line;
        // the line is cut to the range along its own course instead.
        if (!(std::isfinite(sx1) && std::isfinite(sy1) && std::isfinite(sx2) && std::isfinite(sy2)))
            return;
        if (sx1 == sx2 && sy1 == sy2) return;
        const bool secondKept = View::InReach(sx2) && View::InReach(sy2);
        const double r = View::kReach;
        if (!ClipSegment(sx1, sy1, sx2, sy2, -r, -r, r, r)) return;
        if (secondKept) canvas_.SetPixel(int(sx2), int(sy2), canvas_.penColour());
        canvas_.MoveTo(int(std::trunc(sx1)), int(std::trunc(sy1)));
        canvas_.LineTo(int(std::trunc(sx2)), int(std::trunc(sy2)));
        return;
    }
    int X1 = int(sx1), Y1 = int(sy1);
    int X2 = int(sx2), Y2 = int(sy2);
    if (X1 == X2 && Y1 == Y2) return;
    // The line leaves out its last pixel, so that pixel is set first.
    canvas_.SetPixel(X2, Y2, canvas_.penColour());
    canvas_.MoveTo(X1, Y1);
    canvas_.LineTo(X2, Y2);
}

void Renderer::DrawCircle(double cx, double cy, double radius, int colourIndex,
                          double startAngle, double endAngle) {
    SetPenColour(colourIndex);
    // The box edges as the transform gives them, in exact doubles: far from the origin or
    // at a deep zoom they pass the range of the integer transform.
    const double left = view_.SurfaceX(cx - radius), right = view_.SurfaceX(cx + radius);
    const double top = view_.SurfaceY(cy - radius), bottom = view_.SurfaceY(cy + radius);
    const bool full = startAngle == endAngle;
    double s = 0, e = 0;
    if (!full) {
        s = Radians(startAngle);
        e = Radians(endAngle < startAngle ? endAngle + 360.0 : endAngle);
        if (view_.SurfaceX(cx + radius * std::cos(s)) == view_.SurfaceX(cx + radius * std::cos(e)) &&
            view_.SurfaceY(cy + radius * std::sin(s)) == view_.SurfaceY(cy + radius * std::sin(e)))
            return;
    }
    if (!(std::fabs(right - left) <= kPainterFigure && std::fabs(bottom - top) <= kPainterFigure &&
          View::InReach(left) && View::InReach(right) && View::InReach(top) &&
          View::InReach(bottom))) {
        if (!std::isfinite(s) || !std::isfinite(e)) return;
        if (full) {
            canvas_.BigEllipse(left, top, right, bottom);
        } else {
            canvas_.BigArc(left, top, right, bottom, view_.SurfaceX(cx + radius * std::cos(s)),
                           view_.SurfaceY(cy + radius * std::sin(s)),
                           view_.SurfaceX(cx + radius * std::cos(e)),
                           view_.SurfaceY(cy + radius * std::sin(e)));
        }
        return;
    }
    if (full) {
        canvas_.Ellipse(int(left), int(top), int(right), int(bottom));
        return;
    }
    int x3 = view_.ScreenX(cx + radius * std::cos(s)), y3 = view_.ScreenY(cy + radius * std::sin(s));
    int x4 = view_.ScreenX(cx + radius * std::cos(e)), y4 = view_.ScreenY(cy + radius * std::sin(e));
    canvas_.Arc(int(left), int(top), int(right), int(bottom), x3, y3, x4, y4);
}

void Renderer::DrawText(double x, double y, const std::string& utf8Text, double height,
                        double angle) {
    QFont font(QStringLiteral("MSゴシック"));
    font.setStyleHint(QFont::TypeWriter);
    int h = PixelSize(height / view_.scale);
    int w = PixelSize(height * 0.5 / view_.scale);
    // The height asked for is that of the whole character cell, ascent and descent
    // together; a pixel size gives the em, and the Japanese face's cell is about 1.45 em.
    font.setPixelSize(EmForCell(font, h));
    // The requested average character width becomes a horizontal stretch of the face. The
    // width asked for is that of a half-width character; the Japanese face reports an
    // average near a full em, which squeezed every text to half its width, so measure a
    // half-width letter instead.
    int natural = QFontMetrics(font).horizontalAdvance(QLatin1Char('x'));
    if (natural > 0) font.setStretch(std::clamp(int(std::lround(100.0 * w / natural)), 1, 4000));
    canvas_.SetFont(font);
    double escapement = std::trunc(angle * 10.0);
    int tenths = std::isfinite(escapement) ? int(std::fmod(escapement, 3600.0)) : 0;

    const QString text = QString::fromUtf8(utf8Text);
    double th = canvas_.TextHeight();
    double a = Radians(angle);
    double left = std::trunc(view_.ScreenX(x) - std::sin(a) * th);
    double topY = std::trunc(view_.ScreenY(y) - std::cos(a) * th);
    if (!std::isfinite(left) || !std::isfinite(topY)) return;
    canvas_.TextOut(int(left), int(topY), text, tenths);
}

void Renderer::DrawMarker(double x, double y, int size, int colourIndex) {
    int left = view_.ScreenX(x) - size / 2, top = view_.ScreenY(y) - size / 2;
    SetPenColour(colourIndex);
    const int xy[] = {left, top, left + size, top, left + size, top + size,
                      left, top + size, left, top};
    canvas_.Polyline(xy, 5);
}

void Renderer::DrawRectOutline(double x1, double y1, double x2, double y2, int colourIndex) {
    SetPenColour(colourIndex);
    int X1 = view_.ScreenX(x1), Y1 = view_.ScreenY(y1);
    int X2 = view_.ScreenX(x2), Y2 = view_.ScreenY(y2);
    const int xy[] = {X1, Y1, X2, Y1, X2, Y2, X1, Y2, X1, Y1};
    canvas_.Polyline(xy, 5);
}

void Renderer::DrawUcsMarker(bool on) {
    canvas_.SetPenMode(Canvas::PenMode::Copy);
    SetPenWidth(3);
    SetPenColour(on ? 2 : 0);
    DrawLine(ucsX, ucsY, ucsX + 20 * view_.scale, ucsY);
    DrawLine(ucsX, ucsY, ucsX, ucsY + 20 * view_.scale);
    SetPenWidth(1);
}

void Renderer::ClearScreen() {
    canvas_.FillRect(0, 0, std::max(surfaceW, canvas_.scrollX() + canvas_.image().width()),
                     std::max(surfaceH, canvas_.scrollY() + canvas_.image().height()), 0x000000);
    DrawUcsMarker(ucsOn != 0);
    SetTextColour(7);
    SetPenColour(7);
    SetBrush(0, 1);
}

void Renderer::ElementAdded(const LineElement& l) {
    SetPenWidth(l.penWidth);
    SetPenColour(l.colour);
    DrawLine(l.x1, l.y1, l.x2, l.y2);
}

void Renderer::ElementAdded(const CircleElement& c) {
    SetPenWidth(c.penWidth);
    SetBrush(c.fillColour, c.fillStyle);
    SetPenColour(c.colour);
    DrawCircle(c.cx, c.cy, c.radius, c.colour, c.startAngle, c.endAngle);
}

void Renderer::ElementErased(const LineElement& l, double markerX, double markerY) {
    SetPenMode(Canvas::PenMode::Copy);
    SetPenWidth(l.penWidth > 2 ? l.penWidth : 3);
    SetPenColour(0);
    DrawLine(l.x1, l.y1, l.x2, l.y2);
    DrawMarker(markerX, markerY, 6, 0);
    SetPenWidth(l.penWidth);
}

void Renderer::ElementErased(const CircleElement& c, double markerX, double markerY) {
    SetPenMode(Canvas::PenMode::Copy);
    SetPenWidth(c.penWidth > 2 ? c.penWidth : 3);
    SetBrush(0, c.fillStyle);
    SetPenColour(0);
    DrawCircle(c.cx, c.cy, c.radius, 0, c.startAngle, c.endAngle);
    DrawMarker(markerX, markerY, 6, 0);
    SetPenWidth(c.penWidth);
}
