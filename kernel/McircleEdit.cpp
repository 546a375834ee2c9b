// Edit commands on circles and arcs: concentric copies and the angle of a split.
#include <cmath>

#include "kernel/Mcalc.h"
#include "kernel/Mcircle.h"

int OffsetCircle(CircleElement& out, const CircleElement& circle, double px, double py, double d) {
    // Shrinking by more than the radius is impossible; growing by it is refused all the same.
    if (circle.radius < d) {
        out.radius = 0;
        return 0;
    }
    // The copy goes to the side of the click: outside the circle it grows, inside it
    // shrinks. Arcs follow the same rule. Judging an arc by the side of its chord instead
    // cannot tell inside from outside near an arc of up to a half turn (both lie on the
    // arc's side of the chord), so upper arcs always grew and lower arcs always shrank.
    double s = d;
    if (PointDistance(px, py, circle.cx, circle.cy) > circle.radius) s = -d;
    const double r = circle.radius - s;
    if (!std::isfinite(r)) {
        out.radius = 0;
        return 0;
    }
    out = circle;
    out.radius = r;
    return 1;
}

int ArcSplitAngle(const CircleElement& circle, double px, double py, double& angle) {
    angle = DirectionAngleDeg(circle.cx, circle.cy, px, py);
    if (angle < 0) return 0;  // P at the centre has no direction
    if (!PointOnArc(circle, px, py)) return 0;
    if (angle == circle.startAngle) return 0;
    if (circle.startAngle != circle.endAngle && angle == circle.endAngle) return 0;
    return 1;
}
