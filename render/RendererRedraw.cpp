// The full redraw of the drawing from the store.
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/DrawingStore.h"
#include "render/Renderer.h"

namespace {

// The world box that holds everything that can put a pixel into the canvas's viewport: the
// viewport in surface pixels, widened by the widest pen and the pixel that the truncation
// of the transform can move a point by, turned into world units.
Box VisibleWorld(const View& v, const Canvas& c, int widestPen) {
    const double margin = widestPen + 4.0;
    const double left = c.scrollX() - margin, right = c.scrollX() + c.image().width() + margin;
    const double top = c.scrollY() - margin, bottom = c.scrollY() + c.image().height() + margin;
    const double s = v.scale;
    // X = trunc(x / s) + originX and Y = originY - trunc(y / s).
    Box b{(left - v.originX - 1) * s, (v.originY - bottom - 1) * s, (right - v.originX + 1) * s,
          (v.originY - top + 1) * s};
    // Rounding of the products: a relative hair outwards.
    const double hairX = 1e-9 * (std::fabs(b.minX) + std::fabs(b.maxX)) + 1e-300;
    const double hairY = 1e-9 * (std::fabs(b.minY) + std::fabs(b.maxY)) + 1e-300;
    return {b.minX - hairX, b.minY - hairY, b.maxX + hairX, b.maxY + hairY};
}

}  // namespace

void Renderer::Redraw(const DrawingStore& store) {
    ClearScreen();
    canvas_.SetPenMode(Canvas::PenMode::Copy);
    // Drawing changes no canvas setting but the pen colour, which DrawCircle sets to the
    // circle's own: a setting equal to the one made for the element before needs no call.
    int penWidth = -1, penColour = -1, brushColour = -1, brushStyle = -1;
    bool settingsKnown = false;
    auto pen = [&](int width, int colour) {
        if (!settingsKnown || width != penWidth) SetPenWidth(width);
        if (!settingsKnown || colour != penColour) SetPenColour(colour);
        penWidth = width;
        penColour = colour;
    };
    auto drawLine = [&](const LineElement& l) {
        pen(l.penWidth, l.colour);
        settingsKnown = true;
        DrawLine(l.x1, l.y1, l.x2, l.y2);
    };
    bool brushKnown = false;
    auto drawCircle = [&](const CircleElement& c) {
        if (!settingsKnown || c.penWidth != penWidth) SetPenWidth(c.penWidth);
        if (!brushKnown || c.fillColour != brushColour || c.fillStyle != brushStyle)
            SetBrush(c.fillColour, c.fillStyle);
        if (!settingsKnown || c.colour != penColour) SetPenColour(c.colour);
        penWidth = c.penWidth;
        penColour = c.colour;
        brushColour = c.fillColour;
        brushStyle = c.fillStyle;
        settingsKnown = brushKnown = true;
        DrawCircle(c.cx, c.cy, c.radius, c.colour, c.startAngle, c.endAngle);
    };
    // Only the elements whose boxes meet the visible window are drawn, in slot order; the
    // others could not put a pixel into the viewport. A transform that is not a plain
    // positive scale gets no window: everything is drawn, as always.
    static thread_local std::vector<int32_t> lines, circles;
    bool culled = false;
    if (view_.scale > 0 && std::isfinite(view_.scale)) {
        const Box window = VisibleWorld(view_, canvas_, store.widestPen());
        if (std::isfinite(window.minX) && std::isfinite(window.maxX) &&
            std::isfinite(window.minY) && std::isfinite(window.maxY))
            culled = store.ElementsIn(window, lines, circles);
    }
    if (culled) {
        for (int32_t i : lines) drawLine(store.line(i));
        for (int32_t i : circles) drawCircle(store.circle(i));
        // The canvas settings end as the walk over every element would leave them.
        int32_t lastLine = std::min(store.lineTop, store.lineAlloc);
        while (lastLine >= 0 && !store.line(lastLine).alive) --lastLine;
        int32_t lastCircle = std::min(store.circleTop, store.circleAlloc);
        while (lastCircle >= 0 && !store.circle(lastCircle).alive) --lastCircle;
        if (lastLine >= 0) {
            SetPenWidth(store.line(lastLine).penWidth);
            SetPenColour(store.line(lastLine).colour);
        }
        if (lastCircle >= 0) {
            const CircleElement& c = store.circle(lastCircle);
            SetPenWidth(c.penWidth);
            SetBrush(c.fillColour, c.fillStyle);
            SetPenColour(c.colour);
        }
    } else {
        const auto& lineTable = store.lines();
        auto l = lineTable.begin();
        for (int32_t i = 0, last = std::min<int32_t>(store.lineTop, int32_t(lineTable.size()) - 1);
             i <= last; ++i, ++l)
            if (l->alive) drawLine(*l);
        const auto& circleTable = store.circles();
        auto c = circleTable.begin();
        for (int32_t i = 0,
                     last = std::min<int32_t>(store.circleTop, int32_t(circleTable.size()) - 1);
             i <= last; ++i, ++c)
            if (c->alive) drawCircle(*c);
    }
    for (int32_t i = 0; i < store.textCount; ++i) {
        const TextElement& t = store.text(i);
        if (!t.alive) continue;
        SetTextColour(t.colour);
        DrawText(t.x, t.y, t.text, t.height, t.angle);
    }
    SetPenWidth(1);
    // A file has just been read, as a rule: the snap search's grid is made now rather
    // than in the middle of the first mouse move.
    store.PrepareSearch();
}
