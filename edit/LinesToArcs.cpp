// Lines-to-arcs: the arc of two joined lines, and the pass over the drawing's junctions.
#include "edit/LinesToArcs.h"

#include <utility>

#include "kernel/Mcalc.h"
#include "kernel/Mcircle.h"
#include "model/DrawingStore.h"

namespace {

bool IsLineEnd(const PointElement& p) {
    return p.kind == kPointEnd && p.owner1Kind == kOwnerLine && p.owner2Kind == kOwnerLine;
}

bool AliveLine(const DrawingStore& store, int32_t index) {
    return index >= 0 && index <= store.lineTop && index < int32_t(store.lines().size()) &&
           store.line(index).alive;
}

}  // namespace

int ArcFromJoinedLines(CircleElement& arc, const LineElement& l1, const LineElement& l2,
                       double lower, double upper) {
    // A, B, C: the far end of l1, the common point (as l1 has it), the far end of l2.
    double ax = 0.0, ay = 0.0, bx = 0.0, by = 0.0, cx = 0.0, cy = 0.0;
    if (SamePoint(l1.x1, l1.y1, l2.x1, l2.y1)) {
        ax = l1.x2, ay = l1.y2, bx = l1.x1, by = l1.y1, cx = l2.x2, cy = l2.y2;
    } else if (SamePoint(l1.x1, l1.y1, l2.x2, l2.y2)) {
        ax = l1.x2, ay = l1.y2, bx = l1.x1, by = l1.y1, cx = l2.x1, cy = l2.y1;
    } else if (SamePoint(l1.x2, l1.y2, l2.x1, l2.y1)) {
        ax = l1.x1, ay = l1.y1, bx = l1.x2, by = l1.y2, cx = l2.x2, cy = l2.y2;
    } else if (SamePoint(l1.x2, l1.y2, l2.x2, l2.y2)) {
        ax = l1.x1, ay = l1.y1, bx = l1.x2, by = l1.y2, cx = l2.x1, cy = l2.y1;
    }
    // The circle through A, B, C and through C, B, A differ in their last digits (the radius
    // is measured from the first point); taking the far ends in a fixed order makes the arc
    // of a junction the same whichever of its lines comes first. Without a common point all
    // three stay at the origin, which no arc passes through.
    if (cx < ax || (cx == ax && cy < ay)) {
        std::swap(ax, cx);
        std::swap(ay, cy);
    }
    return ThreePointArcTest(arc, ax, ay, bx, by, cx, cy, lower, upper) +
           ThreePointArcTest(arc, ax, ay, bx, by, cx, cy, 360.0 - upper, 360.0 - lower);
}

int LinesToArcs(DrawingStore& store, double arcAngleMin, double arcAngleMax) {
    // Coinciding points become neighbours; the table keeps this order afterwards.
    store.SortPoints(0, store.pointTop);
    int made = 0;
    // pointTop may grow while the arcs' points go in; those have circle owners and are passed
    // over like any other point.
    for (int32_t i = 0; i < store.pointTop; ++i) {
        const PointElement p = store.point(i);
        const PointElement q = store.point(i + 1);
        if (!IsLineEnd(p) || !IsLineEnd(q)) continue;
        if (p.owner1Index == q.owner1Index && p.owner2Index == q.owner2Index) continue;
        if (!SamePoint(p.x, p.y, q.x, q.y)) continue;
        const int32_t l1 = p.owner1Index, l2 = q.owner1Index;
        // A point left behind by a line that is gone must not take a live line with it.
        if (!AliveLine(store, l1) || !AliveLine(store, l2)) continue;
        CircleElement arc;
        if (ArcFromJoinedLines(arc, store.line(l1), store.line(l2), arcAngleMin, arcAngleMax) == 0)
            continue;
        // Only after a failed allocation is the current circle slot taken, and AddCircle would
        // then refuse the arc: nothing more can go in, and deleting the lines would lose them.
        if (store.currentCircle().alive) break;
        // A centre that overflows when rounded is refused by the store as well; keep the lines.
        CircleElement probe;
        if (!SetCircleData(probe, arc.cx, arc.cy, arc.radius, arc.startAngle, arc.endAngle))
            continue;
        store.DeleteLine(l1, 1);
        store.DeleteLine(l2, 1);
        const int32_t slot = store.circleCur;
        store.AddCircle(arc.cx, arc.cy, arc.radius, arc.startAngle, arc.endAngle, 1);
        if (store.circle(slot).alive) ++made;
        ++i;  // Q is used up
    }
    return made;
}
