// The drawing store: creation, clearing, slots, additions, deletions and bulk appends.
#include "model/DrawingStore.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <utility>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "kernel/UserPrompts.h"
#include "model/UndoJournal.h"

DrawingStore::DrawingStore() { CreateStore(); }

bool DrawingStore::CreateStore() {
    try {
        lines_.clear();
        circles_.clear();
        lineIds_.clear();
        circleIds_.clear();
        points_.clear();
        freeLines_.Clear();
        freeCircles_.Clear();
        freePoints_.Clear();
        lineAlloc = circleAlloc = pointAlloc = -1;
        if (!GrowLines(0) || !GrowCircles(0) || !GrowPoints(0)) return false;
        texts_.assign(size_t(kTextRecords), TextElement{});
    } catch (const std::bad_alloc&) {
        return false;
    }
    lineCur = lineTop = circleCur = circleTop = pointTop = textCur = textCount = 0;
    lineGrid_.Clear();
    circleGrid_.Clear();
    pointGrid_.Clear();
    widestPen_ = 1;
    return true;
}

bool DrawingStore::GrowLines(int32_t i) {
    try {
        while (lineAlloc < i) {
            lines_.emplace_back();
            lineIds_.emplace_back();
            ++lineAlloc;
            freeLines_.Set(lineAlloc, true);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool DrawingStore::GrowCircles(int32_t i) {
    try {
        while (circleAlloc < i) {
            circles_.emplace_back();
            circleIds_.emplace_back();
            ++circleAlloc;
            freeCircles_.Set(circleAlloc, true);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool DrawingStore::GrowPoints(int32_t i) {
    try {
        while (pointAlloc < i) {
            points_.emplace_back();
            ++pointAlloc;
            freePoints_.Set(pointAlloc, true);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void DrawingStore::ClearStore() {
    // Every record up to the allocation mark becomes fresh: the tables drop their blocks,
    // which gives the memory back, and hand out fresh records until a slot is written.
    lines_.Refresh();
    lineIds_.Refresh();
    freeLines_.AllFree(lineAlloc + 1);
    lineCur = lineTop = 0;
    circles_.Refresh();
    circleIds_.Refresh();
    freeCircles_.AllFree(circleAlloc + 1);
    circleCur = circleTop = 0;
    // A table grown by a large drawing gives its memory back.
    std::vector<TextElement>(size_t(kTextRecords)).swap(texts_);
    textCur = textCount = 0;
    points_.Refresh();
    freePoints_.AllFree(pointAlloc + 1);
    snapIndex = -1;
    pointTop = 0;
    pickedLine = pickedCircle = firstPick = secondPick = -1;
    lineGrid_.Clear();
    circleGrid_.Clear();
    pointGrid_.Clear();
    widestPen_ = 1;
    appendFailed_ = false;
#if defined(__GLIBC__)
    // Freed blocks below the top of the heap stay with the process unless asked for.
    malloc_trim(0);
#endif
    if (resetToSelect) resetToSelect();
}

void DrawingStore::TakeDrawing(DrawingStore& other) {
    ElementPainter* const keepRenderer = renderer;
    UndoJournal* const keepJournal = journal;
    auto keepShareLine = std::move(shareLine);
    auto keepShareCircle = std::move(shareCircle);
    auto keepReset = std::move(resetToSelect);
    auto keepChanged = std::move(changed);
    const bool keepIndex = useSpatialIndex;
    // The drawing comes with the identities its reader gave it; what is added from now on
    // keeps this store's site, and the counter goes on past both.
    const uint32_t keepSite = idSite_;
    const uint64_t keepCounter = std::max(idCounter_, other.idCounter_);
    std::swap(*this, other);
    idSite_ = keepSite;
    idCounter_ = keepCounter;
    adoptedId_ = 0;
    other.renderer = nullptr;
    other.journal = nullptr;
    other.shareLine = nullptr;
    other.shareCircle = nullptr;
    other.resetToSelect = nullptr;
    other.changed = nullptr;
    changed = std::move(keepChanged);
    renderer = keepRenderer;
    journal = keepJournal;
    shareLine = std::move(keepShareLine);
    shareCircle = std::move(keepShareCircle);
    resetToSelect = std::move(keepReset);
    useSpatialIndex = keepIndex;
    pickedLine = pickedCircle = firstPick = secondPick = -1;
    snapIndex = -1;
    if (resetToSelect) resetToSelect();
}

// The lowest free slot in 0..alloc, reusing freed slots below the high-water mark.
#define KORVO_NEXT_FREE(freeSet, top, alloc, grow, message)            \
    int32_t i = freeSet.Lowest(alloc);                                 \
    if (i < 0) i = alloc + 1;                                          \
    if (i <= top) return i;                                            \
    int32_t before = top;                                              \
    top = i;                                                           \
    if (i <= alloc) return i;                                          \
    if (!grow(i)) {                                                    \
        ShowMessage(message);                                          \
        top = before;                                                  \
        return -1;                                                     \
    }                                                                  \
    return i;

int32_t DrawingStore::NextFreeLineSlot() {
    KORVO_NEXT_FREE(freeLines_, lineTop, lineAlloc, GrowLines, "Lineメモリ確保に失敗しました")
}

int32_t DrawingStore::NextFreeCircleSlot() {
    KORVO_NEXT_FREE(freeCircles_, circleTop, circleAlloc, GrowCircles,
                    "Circleメモリ確保に失敗しました")
}

int32_t DrawingStore::NextFreePointSlot() {
    KORVO_NEXT_FREE(freePoints_, pointTop, pointAlloc, GrowPoints, "Pointメモリ確保に失敗しました")
}
#undef KORVO_NEXT_FREE

Box DrawingStore::LineBox(const LineElement& l) {
    return {std::min(l.x1, l.x2), std::min(l.y1, l.y2), std::max(l.x1, l.x2), std::max(l.y1, l.y2)};
}

// Two horizontal lines, or two vertical ones, never cross (crossline finds them parallel
// before anything else): the grid marks them so that the search for a new line's crossings
// leaves them out without reading their records.
uint8_t DrawingStore::LineFlags(const LineElement& l) {
    return uint8_t((l.y1 == l.y2 ? 1 : 0) | (l.x1 == l.x2 ? 2 : 0));
}

Box DrawingStore::CircleBox(const CircleElement& c) {
    // Intersection points come out of rounded arithmetic; the margin keeps every circle
    // that can yield one among the candidates.
    double r = std::fabs(c.radius);
    double pad = 1e-3 + 1e-9 * (std::fabs(c.cx) + std::fabs(c.cy) + r);
    return {c.cx - r - pad, c.cy - r - pad, c.cx + r + pad, c.cy + r + pad};
}

// Alive records are never changed in place (the edit commands change deleted ones and add
// them again), so the box an element went into its grid with is the box it leaves with.
void DrawingStore::SetLineAlive(int32_t i, bool alive) {
    LineElement& l = line(i);
    if (bool(l.alive) == alive) return;
    l.alive = alive ? 1 : 0;
    freeLines_.Set(i, !alive);
    if (alive) GiveId(lineIds_, i);
    if (!alive) {
        lineGrid_.Remove(i, LineBox(l));
        return;
    }
    widestPen_ = std::max(widestPen_, l.penWidth);
    lineGrid_.Insert(i, LineBox(l), LineFlags(l));
    if (lineGrid_.WantsRebuild())
        lineGrid_.Rebuild([this](auto insert) {
            for (int32_t k = 0; k <= lineTop && k <= lineAlloc; ++k) {
                const LineElement& e = std::as_const(*this).line(k);
                if (e.alive) insert(k, LineBox(e), LineFlags(e));
            }
        });
}

void DrawingStore::SetCircleAlive(int32_t i, bool alive) {
    CircleElement& c = circle(i);
    if (bool(c.alive) == alive) return;
    c.alive = alive ? 1 : 0;
    freeCircles_.Set(i, !alive);
    if (alive) GiveId(circleIds_, i);
    if (!alive) {
        circleGrid_.Remove(i, CircleBox(c));
        return;
    }
    widestPen_ = std::max(widestPen_, c.penWidth);
    circleGrid_.Insert(i, CircleBox(c));
    if (circleGrid_.WantsRebuild())
        circleGrid_.Rebuild([this](auto insert) {
            for (int32_t k = 0; k <= circleTop && k <= circleAlloc; ++k)
                if (std::as_const(*this).circle(k).alive)
                    insert(k, CircleBox(std::as_const(*this).circle(k)), uint8_t(0));
        });
}

int32_t DrawingStore::AddPoint(double x, double y, uint8_t kind, uint8_t o1k, int32_t o1i,
                               uint8_t o2k, int32_t o2i) {
    if (!std::isfinite(x) || !std::isfinite(y)) return -1;
    int32_t i;
    if (pointTop == pointAlloc && !freePoints_.AnyFree() && pointAlloc < INT32_MAX) {
        // The usual case while a drawing is read: every slot is taken and the point goes
        // into a new one past the end, taken at once, so it never counts as free.
        try {
            points_.emplace_back();
        } catch (const std::bad_alloc&) {
            ShowMessage("Pointメモリ確保に失敗しました");
            return -1;
        }
        i = pointTop = ++pointAlloc;
        pointAt(i) = PointElement{x, y, kind, o1k, o1i, o2k, o2i};
    } else {
        i = NextFreePointSlot();
        if (i < 0) return -1;
        pointAt(i) = PointElement{x, y, kind, o1k, o1i, o2k, o2i};
        freePoints_.Set(i, false);
    }
    pointGrid_.Added(i);
    return i;
}

void DrawingStore::Candidates(const SpatialGrid& grid, const Box& box, int32_t top, bool lines,
                              int32_t skip, std::vector<int32_t>& out, uint8_t skipFlags) const {
    out.clear();
    if (useSpatialIndex) grid.Query(box, out, skipFlags);
    if (!useSpatialIndex) {
        out.clear();
        for (int32_t i = 0; i <= top; ++i)
            if ((lines ? line(i).alive : circle(i).alive) && i != skip) out.push_back(i);
        return;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    // The grid holds alive elements only (an element out of the range of the scan would be
    // a broken invariant, and is left out as the scan would).
    std::erase_if(out, [&](int32_t i) { return i == skip || i > top; });
    // The records lie all over the table: ask for all of them at once, so that the exact
    // tests that follow wait for memory once rather than once per candidate.
    for (int32_t i : out) {
        if (lines)
            __builtin_prefetch(&line(i));
        else
            __builtin_prefetch(&circle(i));
    }
}

void DrawingStore::AddLinePoints(int32_t n) {
    const LineElement l = line(n);
    AddPoint(l.x1, l.y1, kPointEnd, kOwnerLine, n, kOwnerLine, n);
    AddPoint(l.x2, l.y2, kPointEnd, kOwnerLine, n, kOwnerLine, n);
    AddPoint((l.x1 + l.x2) / 2, (l.y1 + l.y2) / 2, kPointMidOrCentre, kOwnerLine, n, kOwnerLine, n);
    Box box = LineBox(l);
    std::vector<int32_t>& cand = candidates_;
    Candidates(lineGrid_, box, lineTop, true, n, cand, LineFlags(l));
    for (int32_t i : cand) {
        double x, y;
        if (crossline(l, line(i), x, y) == 1)
            AddPoint(x, y, kPointCrossOrQuad, kOwnerLine, n, kOwnerLine, i);
    }
    Candidates(circleGrid_, box, circleTop, false, -1, cand);
    for (int32_t i : cand) {
        double x1, y1, x2, y2;
        int k = crosscirp(circle(i), l, x1, y1, x2, y2);
        if (k >= 1) AddPoint(x1, y1, kPointCrossOrQuad, kOwnerLine, n, kOwnerCircle, i);
        if (k >= 2) AddPoint(x2, y2, kPointCrossOrQuad, kOwnerLine, n, kOwnerCircle, i);
    }
}

void DrawingStore::AddCirclePoints(int32_t n) {
    const CircleElement c = circle(n);
    AddPoint(c.cx, c.cy, kPointMidOrCentre, kOwnerCircle, n, kOwnerCircle, n);
    if (c.startAngle != c.endAngle) {
        double x, y;
        if (AngleToPnt(c, x, y, c.startAngle))
            AddPoint(x, y, kPointEnd, kOwnerCircle, n, kOwnerCircle, n);
        if (AngleToPnt(c, x, y, c.endAngle))
            AddPoint(x, y, kPointEnd, kOwnerCircle, n, kOwnerCircle, n);
    }
    const double qx[4] = {c.cx + c.radius, c.cx, c.cx - c.radius, c.cx};
    const double qy[4] = {c.cy, c.cy + c.radius, c.cy, c.cy - c.radius};
    for (int q = 0; q < 4; ++q)
        if (AngleOnArc(c, 90.0 * q))
            AddPoint(qx[q], qy[q], kPointCrossOrQuad, kOwnerCircle, n, kOwnerCircle, n);
    Box box = CircleBox(c);
    std::vector<int32_t>& cand = candidates_;
    Candidates(lineGrid_, box, lineTop, true, -1, cand);
    for (int32_t i : cand) {
        double x1, y1, x2, y2;
        int k = crosscirp(c, line(i), x1, y1, x2, y2);
        if (k >= 1) AddPoint(x1, y1, kPointCrossOrQuad, kOwnerCircle, n, kOwnerLine, i);
        if (k >= 2) AddPoint(x2, y2, kPointCrossOrQuad, kOwnerCircle, n, kOwnerLine, i);
    }
    Candidates(circleGrid_, box, circleTop, false, n, cand);
    for (int32_t i : cand) {
        double x1, y1, x2, y2;
        int k = cir_cir(c, circle(i), x1, y1, x2, y2);
        if (k >= 1) AddPoint(x1, y1, kPointCrossOrQuad, kOwnerCircle, n, kOwnerCircle, i);
        if (k >= 2) AddPoint(x2, y2, kPointCrossOrQuad, kOwnerCircle, n, kOwnerCircle, i);
    }
}

void DrawingStore::RemovePointsOf(uint8_t ownerKind, int32_t index) {
    for (int32_t i = 0; i <= pointTop && i <= pointAlloc; ++i) {
        PointElement& p = pointAt(i);
        if (p.kind == kPointFree) continue;
        if ((p.owner1Kind == ownerKind && p.owner1Index == index) ||
            (p.owner2Kind == ownerKind && p.owner2Index == index)) {
            p.kind = 0;
            p.owner1Kind = 0;
            p.owner2Kind = 0;
            freePoints_.Set(i, true);
        }
    }
}
