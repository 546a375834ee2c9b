// The drawing store's interactive additions and deletions, bulk appends and the point sort.
#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <cstdio>

#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"
#include "model/UndoJournal.h"

namespace {

bool Finite(double a, double b, double c, double d) {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
}

bool Coincide(double x1, double y1, double x2, double y2) {
    return (x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1) <= 0.00001;
}

bool StoredFinite(const LineElement& l) { return Finite(l.x1, l.y1, l.x2, l.y2); }

bool StoredFinite(const CircleElement& c) {
    return Finite(c.cx, c.cy, c.radius, c.startAngle) && std::isfinite(c.endAngle);
}

}  // namespace

void DrawingStore::Journal(char letter, int32_t index, const LineElement& e) {
    if (!journal) return;
    char text[1024];
    std::snprintf(text, sizeof text, "%c %d %d %d %d %d %lf %lf %lf %lf", letter, index,
                  e.colour, e.reserved1, e.penWidth, e.reserved2, e.x1, e.y1, e.x2, e.y2);
    journal->JournalPush(text);
}

void DrawingStore::Journal(char letter, int32_t index, const CircleElement& e) {
    if (!journal) return;
    char text[1024];
    std::snprintf(text, sizeof text, "%c %d %d %d %d %d %lf %lf %lf %lf %lf", letter, index,
                  e.colour, e.reserved1, e.penWidth, e.reserved2, e.cx, e.cy, e.radius,
                  e.startAngle, e.endAngle);
    journal->JournalPush(text);
}

void DrawingStore::AddLine(double x1, double y1, double x2, double y2, int broadcast) {
    if (!Finite(x1, y1, x2, y2) || Coincide(x1, y1, x2, y2)) return;
    // Only after a failed allocation can the current slot still be live; never overwrite it.
    if (currentLine().alive) return;
    LineElement& l = currentLine();
    LineElement before = l;
    if (!SetLineEnds(l, x1, y1, x2, y2) || !StoredFinite(l)) {
        l = before;
        return;
    }
    if (renderer) renderer->ElementAdded(l);
    int32_t n = lineCur;
    AddLinePoints(n);
    SetLineAlive(n, true);
    Journal('L', n, l);
    if (broadcast == 1 && shareLine) shareLine(1, n, l);
    if (changed) changed();
    int32_t next = NextFreeLineSlot();
    if (next < 0) return;
    lineCur = next;
    line(next).colour = line(n).colour;
    line(next).penWidth = line(n).penWidth;
}

void DrawingStore::AddCircle(double cx, double cy, double radius, double startAngle,
                             double endAngle, int broadcast) {
    if (!(radius > 0) || !Finite(cx, cy, radius, startAngle) || !std::isfinite(endAngle)) return;
    if (currentCircle().alive) return;
    CircleElement& c = currentCircle();
    CircleElement before = c;
    if (!SetCircleData(c, cx, cy, radius, startAngle, endAngle) || !StoredFinite(c)) {
        c = before;
        return;
    }
    if (renderer) renderer->ElementAdded(c);
    int32_t n = circleCur;
    AddCirclePoints(n);
    SetCircleAlive(n, true);
    Journal('C', n, c);
    if (broadcast == 1 && shareCircle) shareCircle(1, n, c);
    if (changed) changed();
    int32_t next = NextFreeCircleSlot();
    if (next < 0) return;
    circleCur = next;
    CarryCircleSettings(circle(next), circle(n));
}

void DrawingStore::DeleteLine(int32_t index, int broadcast) {
    if (index < 0 || index > lineAlloc || !line(index).alive) return;
    LineElement& l = line(index);
    if (renderer) renderer->ElementErased(l, snapPoint.x, snapPoint.y);
    SetLineAlive(index, false);
    Journal('l', index, l);
    if (broadcast == 1 && shareLine) shareLine(0, index, l);
    if (changed) changed();
    RemovePointsOf(kOwnerLine, index);
    pickedLine = -1;
    snapIndex = -1;
}

void DrawingStore::DeleteCircle(int32_t index, int broadcast) {
    if (index < 0 || index > circleAlloc || !circle(index).alive) return;
    CircleElement& c = circle(index);
    if (renderer) renderer->ElementErased(c, snapPoint.x, snapPoint.y);
    SetCircleAlive(index, false);
    Journal('c', index, c);
    if (broadcast == 1 && shareCircle) shareCircle(0, index, c);
    if (changed) changed();
    RemovePointsOf(kOwnerCircle, index);
    pickedCircle = -1;
    snapIndex = -1;
}

void DrawingStore::ReAddLinePair(int32_t a, int32_t b) {
    if (a < 0 || a > lineAlloc || b < 0 || b > lineAlloc || a == b) return;
    if (line(a).alive || line(b).alive) return;
    SetLineAlive(b, true);
    lineCur = a;
    const LineElement ea = line(a);
    AddLine(ea.x1, ea.y1, ea.x2, ea.y2, 1);
    SetLineAlive(b, false);
    lineCur = b;
    const LineElement eb = line(b);
    AddLine(eb.x1, eb.y1, eb.x2, eb.y2, 1);
}

void DrawingStore::SetCurrentColour(int32_t colourIndex) {
    currentLine().colour = colourIndex;
    currentCircle().colour = colourIndex;
    currentCircle().fillColour = colourIndex;
}

bool DrawingStore::AppendLine(double x1, double y1, double x2, double y2) {
    if (!Finite(x1, y1, x2, y2) || appendFailed_ || currentLine().alive) return false;
    LineElement& l = currentLine();
    if (!SetLineEnds(l, x1, y1, x2, y2)) return false;  // the rounded values stay, not alive
    if (!StoredFinite(l)) {
        l.x1 = l.y1 = l.x2 = l.y2 = 0.0;
        return false;
    }
    l.colour = 7;
    int32_t n = lineCur;
    AddLinePoints(n);
    SetLineAlive(n, true);
    if (lineTop + 1 > lineAlloc && !GrowLines(lineTop + 1)) {
        // The line is in; the table cannot take another. Say so once and refuse the rest.
        ShowMessage("Lineメモリ確保に失敗しました");
        appendFailed_ = true;
        return true;
    }
    lineCur += 1;
    lineTop += 1;
    return true;
}

bool DrawingStore::AppendCircle(double cx, double cy, double radius, double startAngle,
                                double endAngle) {
    if (!Finite(cx, cy, radius, startAngle) || !std::isfinite(endAngle) || appendFailed_ ||
        currentCircle().alive)
        return false;
    CircleElement& c = currentCircle();
    if (!SetCircleData(c, cx, cy, radius, startAngle, endAngle) || !StoredFinite(c)) return false;
    int32_t n = circleCur;
    AddCirclePoints(n);
    SetCircleAlive(n, true);
    if (circleTop + 1 > circleAlloc && !GrowCircles(circleTop + 1)) {
        ShowMessage("Circleメモリ確保に失敗しました");
        appendFailed_ = true;
        return true;
    }
    circleCur += 1;
    circleTop += 1;
    return true;
}

void DrawingStore::StyleLine(int32_t i, int32_t colour, int32_t penWidth) {
    if (i < 0 || i > lineAlloc) return;
    line(i).colour = colour;
    line(i).penWidth = penWidth;
    widestPen_ = std::max(widestPen_, penWidth);
}

void DrawingStore::StyleCircle(int32_t i, int32_t colour, int32_t penWidth, uint8_t fillStyle,
                               int32_t fillColour) {
    if (i < 0 || i > circleAlloc) return;
    CircleElement& c = circle(i);
    c.colour = colour;
    c.penWidth = penWidth;
    c.fillStyle = fillStyle;
    c.fillColour = fillColour;
    widestPen_ = std::max(widestPen_, penWidth);
}

bool DrawingStore::AppendText(double x, double y, const std::string& text, double height,
                              double angle) {
    if (!Finite(x, y, height, angle)) return true;  // dropped, but not a reason to stop
    if (textCount == INT32_MAX) return false;
    try {
        // The table grows like the element tables; a slot stays free past the last text.
        if (size_t(textCur) + 1 >= texts_.size()) texts_.resize(std::max(texts_.size() * 2, size_t(textCur) + 2));
    } catch (const std::bad_alloc&) {
        return false;
    }
    TextElement& t = texts_[size_t(textCur)];
    t.text = text;
    t.x = x;
    t.y = y;
    t.height = height;
    t.angle = angle;
    t.alive = 1;
    textCur += 1;
    textCount += 1;
    return true;
}

void DrawingStore::RestoreLine(int32_t index, int32_t colour, int32_t penWidth, double x1,
                               double y1, double x2, double y2) {
    if (index >= 0 && index <= lineTop && !line(index).alive) {
        lineCur = index;
    } else if (!currentLine().alive) {
        // The old slot holds another line now, or lies beyond a clear: the line comes back
        // into the slot a new line would take, as it was.
        currentLine().colour = colour;
        currentLine().penWidth = penWidth;
    }
    AddLine(x1, y1, x2, y2, 1);
}

void DrawingStore::RestoreCircle(int32_t index, int32_t colour, int32_t penWidth, double cx,
                                 double cy, double radius, double startAngle, double endAngle) {
    if (index >= 0 && index <= circleTop && !circle(index).alive) {
        circleCur = index;
    } else if (!currentCircle().alive) {
        currentCircle().colour = colour;
        currentCircle().penWidth = penWidth;
    }
    AddCircle(cx, cy, radius, startAngle, endAngle, 1);
}

namespace {

template <typename Key>
void ShellSort(SlotTable<PointElement>& a, int32_t first, int32_t last, Key key) {
    int32_t n = last - first + 1;
    for (int32_t gap = n / 2; gap > 0; gap /= 2)
        for (int32_t i = first + gap; i <= last; ++i) {
            PointElement moving = a[size_t(i)];
            int32_t j = i;
            while (j - gap >= first && key(a[size_t(j - gap)]) > key(moving)) {
                a[size_t(j)] = a[size_t(j - gap)];
                j -= gap;
            }
            a[size_t(j)] = moving;
        }
}

}  // namespace

void DrawingStore::SortPoints(int32_t first, int32_t last) {
    if (first < 0) first = 0;
    if (last > pointAlloc) last = pointAlloc;
    if (last <= first) return;
    pointGrid_.Invalidate();
    ShellSort(points_, first, last, [](const PointElement& p) { return p.x; });
    int32_t runStart = first;
    for (int32_t i = first + 1; i <= last + 1; ++i) {
        if (i <= last && points_[size_t(i)].x == points_[size_t(runStart)].x) continue;
        if (i - 1 > runStart)
            ShellSort(points_, runStart, i - 1, [](const PointElement& p) { return p.y; });
        runStart = i;
    }
    for (int32_t i = first; i <= last; ++i) freePoints_.Set(i, points_[size_t(i)].kind == kPointFree);
}
