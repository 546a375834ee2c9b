// Snapping to the nearest snap point and picking the nearest line or circle.
#include "edit/Picking.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "model/DrawingStore.h"
#include "render/Renderer.h"

namespace {

// Markers are XOR-drawn whatever the pen mode of the caller, so that drawing one twice
// always restores the drawing.
void XorMarker(Renderer& r, const PointElement& p) {
    Canvas::PenMode mode = r.canvas().penMode();
    int width = r.canvas().penWidth();
    r.SetPenMode(Canvas::PenMode::Xor);
    r.SetPenWidth(1);
    r.DrawMarker(p.x, p.y, 6, p.kind);
    r.SetPenMode(mode);
    r.SetPenWidth(width);
}

void DrawLineIn(Renderer& r, const LineElement& l, int width, int colour) {
    r.SetPenWidth(width);
    r.SetPenColour(colour);
    r.DrawLine(l.x1, l.y1, l.x2, l.y2);
}

// The outline only: a fill drawn again here would cover whatever lies on top of the circle.
void DrawCircleIn(Renderer& r, const CircleElement& c, int width, int colour) {
    Canvas::BrushStyle style = r.canvas().brushStyle();
    uint32_t brush = r.canvas().brushColour();
    r.SetPenWidth(width);
    r.canvas().SetBrush(brush, Canvas::BrushStyle::None);
    r.DrawCircle(c.cx, c.cy, c.radius, colour, c.startAngle, c.endAngle);
    r.canvas().SetBrush(brush, style);
}

// Wipes the pixels a pen of the given width covers along a circle's rim and gives them
// what the circle itself draws there on the background: its rim in its own colour and
// width, and inside the rim its fill, so that a filled circle keeps no dark ring where the
// wipe ran over its fill. Only the circle's box, cut to the viewport, is drawn aside.
void RedrawCircleUnderWipe(Renderer& r, const CircleElement& e, int wipeWidth) {
    Canvas& canvas = r.canvas();
    View& v = r.view();
    QImage& shown = canvas.image();
    const double rim = e.radius / v.scale;
    const double margin = std::max(wipeWidth, e.penWidth) + 2.0;
    const double cx = v.SurfaceX(e.cx), cy = v.SurfaceY(e.cy);
    const double left = std::max<double>(cx - rim - margin, canvas.scrollX());
    const double top = std::max<double>(cy - rim - margin, canvas.scrollY());
    const double right = std::min<double>(cx + rim + margin, canvas.scrollX() + shown.width());
    const double bottom = std::min<double>(cy + rim + margin, canvas.scrollY() + shown.height());
    if (!(left < right && top < bottom)) return;
    const int x0 = int(std::floor(left)), y0 = int(std::floor(top));
    const int w = int(std::ceil(right)) - x0, h = int(std::ceil(bottom)) - y0;

    Canvas wiped, own;
    for (Canvas* aside : {&wiped, &own}) {
        aside->Resize(w, h);
        aside->SetScroll(x0, y0);
        aside->SetFont(canvas.font());
    }
    Renderer wipe(wiped, v), element(own, v);
    wipe.SetPenMode(Canvas::PenMode::Copy);
    DrawCircleIn(wipe, e, wipeWidth, 7);
    element.SetPenMode(Canvas::PenMode::Copy);
    element.ElementAdded(e);

    const QImage& mask = wiped.image();
    const QImage& source = own.image();
    for (int y = 0; y < h; ++y) {
        const int sy = y0 + y - canvas.scrollY();
        if (sy < 0 || sy >= shown.height()) continue;
        const auto* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(shown.scanLine(sy));
        for (int x = 0; x < w; ++x) {
            const int sx = x0 + x - canvas.scrollX();
            if ((m[x] & 0xFFFFFFu) != 0 && sx >= 0 && sx < shown.width()) to[sx] = from[x];
        }
    }
}

}  // namespace

std::string PickSnapPoint(const PickContext& c, int x, int y) {
    DrawingStore& s = c.store;
    const View& v = c.renderer.view();
    const int previous = s.snapIndex;
    const PointElement previousPoint = s.snapPoint;
    s.snapIndex = -1;
    double t = c.snapDistance * v.scale * v.scale;
    const double wx = v.WorldX(x), wy = v.WorldY(y);
    s.snapIndex = std::as_const(s).NearestPoint(wx, wy, t);
    if (s.snapIndex == -1) {
        if (previous != -1) XorMarker(c.renderer, previousPoint);
        return {};
    }
    s.snapPoint = std::as_const(s).point(s.snapIndex);
    if (s.snapIndex == previous) return {};
    if (previous != -1) XorMarker(c.renderer, previousPoint);
    XorMarker(c.renderer, s.snapPoint);
    const PointElement& p = s.snapPoint;
    char text[512];
    std::snprintf(text, sizeof text, "選択点=%5d 座標(%.12lf %.12lf) %c:%d %c:%d", s.snapIndex, p.x,
                  p.y, char(p.owner1Kind), p.owner1Index, char(p.owner2Kind), p.owner2Index);
    return text;
}

void ForgetSnapPoint(DrawingStore& store, Renderer& renderer) {
    if (store.snapIndex == -1) return;
    XorMarker(renderer, store.snapPoint);
    store.snapIndex = -1;
}

void UnhighlightPicked(DrawingStore& s, Renderer& r, int penWidthOfWipe) {
    Canvas::PenMode mode = r.canvas().penMode();
    r.SetPenMode(Canvas::PenMode::Copy);
    if (s.pickedLine != -1 && s.pickedLine <= s.lineAlloc && s.line(s.pickedLine).alive) {
        const LineElement& l = s.line(s.pickedLine);
        DrawLineIn(r, l, penWidthOfWipe, 0);
        DrawLineIn(r, l, l.penWidth, l.colour);
    } else if (s.pickedCircle != -1 && s.pickedCircle <= s.circleAlloc &&
               s.circle(s.pickedCircle).alive) {
        const CircleElement& e = s.circle(s.pickedCircle);
        RedrawCircleUnderWipe(r, e, penWidthOfWipe);
        r.SetPenWidth(e.penWidth);
        r.SetPenColour(e.colour);
    }
    r.SetPenMode(mode);
}

std::string PickElement(const PickContext& c, int x, int y) {
    DrawingStore& s = c.store;
    Renderer& r = c.renderer;
    const View& v = r.view();
    const int prevLine = s.pickedLine, prevCircle = s.pickedCircle;
    double t = c.snapDistance * v.scale * v.scale;
    const double wx = v.WorldX(x), wy = v.WorldY(y);
    std::as_const(s).NearestElement(wx, wy, t, s.pickedLine, s.pickedCircle);
    if (s.pickedLine == prevLine && s.pickedCircle == prevCircle) return {};
    const int nowLine = s.pickedLine, nowCircle = s.pickedCircle;
    s.pickedLine = prevLine;
    s.pickedCircle = prevCircle;
    UnhighlightPicked(s, r, 2);
    s.pickedLine = nowLine;
    s.pickedCircle = nowCircle;

    HighlightPicked(s, r);
    char text[768];
    text[0] = 0;
    if (nowLine != -1) {
        const LineElement& l = s.line(nowLine);
        std::snprintf(text, sizeof text, "選択直線=%5d (%lf , %lf) - (%lf, %lf) d%lf", nowLine, l.x1,
                      l.y1, l.x2, l.y2, t);
    } else if (nowCircle != -1) {
        const CircleElement& e = s.circle(nowCircle);
        std::snprintf(text, sizeof text, "選択円=%5d 中心(%lf %lf) 半径=%lf 角度(%lf->%lf) d%lf",
                      nowCircle, e.cx, e.cy, e.radius, e.startAngle, e.endAngle, t);
    }
    return text;
}

// The highlight is an outline in yellow, width 2, never a fill; the pen width is then set
// back to the element's own.
void HighlightPicked(DrawingStore& s, Renderer& r) {
    Canvas::PenMode mode = r.canvas().penMode();
    r.SetPenMode(Canvas::PenMode::Copy);
    if (s.pickedLine != -1 && s.pickedLine <= s.lineAlloc && s.line(s.pickedLine).alive) {
        const LineElement& l = s.line(s.pickedLine);
        DrawLineIn(r, l, 2, 6);
        r.SetPenWidth(l.penWidth);
    } else if (s.pickedCircle != -1 && s.pickedCircle <= s.circleAlloc &&
               s.circle(s.pickedCircle).alive) {
        const CircleElement& e = s.circle(s.pickedCircle);
        DrawCircleIn(r, e, 2, 6);
        r.SetPenWidth(e.penWidth);
    }
    r.SetPenMode(mode);
}

void ShowSnapMarker(DrawingStore& store, Renderer& renderer) {
    if (store.snapIndex != -1) XorMarker(renderer, store.snapPoint);
}
