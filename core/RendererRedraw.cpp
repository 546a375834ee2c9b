// The full redraw of the drawing from the store.
#include "core/DrawingStore.h"
#include "core/Renderer.h"

void Renderer::Redraw(const DrawingStore& store) {
    ClearScreen();
    canvas_.SetPenMode(Canvas::PenMode::Copy);
    if (processEvents) processEvents();
    // The events may have changed the pen; the elements are drawn in copy mode.
    canvas_.SetPenMode(Canvas::PenMode::Copy);
    for (int32_t i = 0; i <= store.lineTop; ++i) {
        const LineElement& l = store.line(i);
        if (!l.alive) continue;
        SetPenWidth(l.penWidth);
        SetPenColour(l.colour);
        DrawLine(l.x1, l.y1, l.x2, l.y2);
    }
    for (int32_t i = 0; i <= store.circleTop; ++i) {
        const CircleElement& c = store.circle(i);
        if (!c.alive) continue;
        SetPenWidth(c.penWidth);
        SetBrush(c.fillColour, c.fillStyle);
        SetPenColour(c.colour);
        DrawCircle(c.cx, c.cy, c.radius, c.colour, c.startAngle, c.endAngle);
    }
    for (int32_t i = 0; i < store.textCount && i < DrawingStore::kTextRecords; ++i) {
        const TextElement& t = store.text(i);
        if (!t.alive) continue;
        SetTextColour(t.colour);
        DrawText(t.x, t.y, t.text, t.height, t.angle);
    }
    SetPenWidth(1);
}
