// Circle and arc elements: storing, picking distance, angles on arcs, three-point arcs.
#include "kernel/Mcircle.h"

#include <algorithm>
#include <cmath>

#include "kernel/Mcalc.h"
#include "kernel/Mline.h"
#include "kernel/UserPrompts.h"

namespace {

// Steps 2 and 3 of the angle test, shared by AngleOnArc and PointOnArc.
int AngleInSweep(double start, double end, double angle) {
    double e = end;
    if (start > end) {
        e = end + 360.0;
        if (start > angle) angle += 360.0;
    }
    return start <= angle && angle <= e ? 1 : 0;
}

}  // namespace

int SetCircleData(CircleElement& circle, double cx, double cy, double r, double start, double end) {
    const double rcx = Round5(cx), rcy = Round5(cy);
    if (!AllFinite({rcx, rcy, r, start, end})) return 0;
    circle.cx = rcx;
    circle.cy = rcy;
    circle.radius = r;
    circle.startAngle = start;
    circle.endAngle = end;
    return 1;
}

double PointCircleDistance(const CircleElement& circle, double px, double py) {
    const double r = circle.radius;
    if (circle.startAngle == circle.endAngle)
        return AbsValue(PointDistance(px, py, circle.cx, circle.cy) - r);

    double e1x, e1y, e2x, e2y;
    PolarPoint(e1x, e1y, circle.cx, circle.cy, circle.startAngle, r);
    PolarPoint(e2x, e2y, circle.cx, circle.cy, circle.endAngle, r);
    LineElement chord;
    if (SetLineEnds(chord, e1x, e1y, e2x, e2y) == 0) return -1.0;
    double d = PointSegmentDistance(chord, px, py);
    if (d < 0) return -1.0;
    if (PointOnArc(circle, px, py)) {
        double qx, qy;
        PolarPoint(qx, qy, circle.cx, circle.cy, DirectionAngleDeg(circle.cx, circle.cy, px, py),
                   r);
        d = std::min(d, PointDistance(px, py, qx, qy));
    }
    return d;
}

bool AngleToPnt(const CircleElement& circle, double& x, double& y, double angle) {
    // Every arc of a drawing being read comes this way twice. With its values of at most
    // 1e300 in size nothing can fault: sine and cosine of a finite angle raise nothing, are
    // at most 1 in size, and no product or sum can then overflow. Only other values have
    // the status watched.
    constexpr double kSafe = 1e300;
    if (std::fabs(angle) <= kSafe && std::fabs(circle.radius) <= kSafe &&
        std::fabs(circle.cx) <= kSafe && std::fabs(circle.cy) <= kSafe) {
        const double a = DegToRad(angle);
        x = std::cos(a) * circle.radius + circle.cx;
        y = std::sin(a) * circle.radius + circle.cy;
        return true;
    }
    FpFaultScope scope;
    const double a = DegToRad(Opaque(angle));
    const double r = Opaque(circle.radius);
    const double px = std::cos(a) * r + Opaque(circle.cx);
    if (scope.Faulted({px})) {
        ShowMessage("AngleToPnt");
        return false;
    }
    x = px;
    const double py = std::sin(a) * r + Opaque(circle.cy);
    if (scope.Faulted({py})) {
        ShowMessage("AngleToPnt");
        return false;
    }
    y = py;
    return true;
}

int AngleOnArc(const CircleElement& circle, double angle) {
    if (circle.startAngle == circle.endAngle) return 1;
    return AngleInSweep(circle.startAngle, circle.endAngle, angle);
}

int PointOnArc(const CircleElement& circle, double px, double py) {
    if (circle.startAngle == circle.endAngle) return 1;
    const double a = DirectionAngleDeg(circle.cx, circle.cy, px, py);
    if (a < 0) return 0;  // P at the centre
    return AngleInSweep(circle.startAngle, circle.endAngle, a);
}

int CircleBy3Points(CircleElement& circle, double ax, double ay, double bx, double by, double cx,
                    double cy) {
    const double t = ax * (by - cy) + bx * (cy - ay) + cx * (ay - by);
    if (AbsValue(t) < kTolerance) return 0;
    const double qa = ax * ax + ay * ay;
    const double qb = bx * bx + by * by;
    const double qc = cx * cx + cy * cy;
    // + 0.0: a centre on an axis is stored as +0, never -0.
    const double mx = (qa * (by - cy) + qb * (cy - ay) + qc * (ay - by)) / (2 * t) + 0.0;
    const double my = -(qa * (bx - cx) + qb * (cx - ax) + qc * (ax - bx)) / (2 * t) + 0.0;
    const double r = PointDistance(ax, ay, mx, my);
    // Points far enough out to overflow give no usable circle rather than an infinite one.
    if (!AllFinite({mx, my, r})) return 0;
    if (r < kTolerance) return 0;
    circle.cx = mx;
    circle.cy = my;
    circle.radius = r;
    circle.startAngle = 0.0;
    circle.endAngle = 0.0;
    return 1;
}

int ArcBy3Points(CircleElement& circle, double ax, double ay, double bx, double by, double cx,
                 double cy) {
    if (CircleBy3Points(circle, ax, ay, bx, by, cx, cy) == 0) return 0;
    double aA, aB, aC;
    PointAngleDeg(ax, ay, circle.cx, circle.cy, aA);
    PointAngleDeg(bx, by, circle.cx, circle.cy, aB);
    PointAngleDeg(cx, cy, circle.cx, circle.cy, aC);
    // Angles of B and C measured counter-clockwise from A.
    const double g = 360.0 - aA;
    double oB = aB + g, oC = aC + g;
    if (oB > 360.0) oB -= 360.0;
    if (oC > 360.0) oC -= 360.0;
    if (oB < oC) {
        circle.startAngle = aA;
        circle.endAngle = aC;
    } else {
        circle.startAngle = aC;
        circle.endAngle = aA;
    }
    return 1;
}

int ThreePointArcTest(CircleElement& circle, double ax, double ay, double bx, double by, double cx,
                      double cy, double lower, double upper) {
    const double a = AngleAtVertex(ax, ay, bx, by, cx, cy);
    if (lower <= a && a <= upper) return ArcBy3Points(circle, ax, ay, bx, by, cx, cy);
    return 0;
}
