// Edit commands on lines: trimming to a corner, filleting, offsetting, the foot of a perpendicular.
#include <cmath>
#include <utility>

#include "kernel/Mcalc.h"
#include "kernel/Mline.h"
#include "kernel/UserPrompts.h"

namespace {

void SwapEnds(LineElement& line) {
    std::swap(line.x1, line.x2);
    std::swap(line.y1, line.y2);
}

void TrimEndToCorner(LineElement& line, double x, double y, double px, double py) {
    if (SamePoint(x, y, line.x1, line.y1) || SamePoint(x, y, line.x2, line.y2)) return;
    bool moveFirst;
    switch (ProjectionSide(line.x1, line.y1, line.x2, line.y2, x, y)) {
        case -1:
            moveFirst = true;  // extended backwards
            break;
        case 1:
            moveFirst = false;  // extended forwards
            break;
        default:
            // X splits the line: the click decides which part stays.
            moveFirst = ProjectionSide(line.x1, line.y1, x, y, px, py) == 1;
            break;
    }
    if (moveFirst) {
        line.x1 = x;
        line.y1 = y;
    } else {
        line.x2 = x;
        line.y2 = y;
    }
}

struct Fillet {
    bool aFirst;        // the arc starts on a
    double t;           // corner to either tangent point
    double cx, cy;      // centre
    double t1x, t1y;    // tangent point on the line the arc starts on
    double t2x, t2y;    // tangent point on the other
    double start, end;  // degrees
    double sweep;       // degrees, 180 less the corner angle
};

// Both lines end at the corner. False when a direction is missing.
bool ComputeFillet(const LineElement& a, const LineElement& b, double r, Fillet& f) {
    const double uax = a.x2 - a.x1, uay = a.y2 - a.y1;
    const double ubx = b.x2 - b.x1, uby = b.y2 - b.y1;
    const double c = (uax * ubx + uay * uby) /
                     (std::sqrt(uax * uax + uay * uay) * std::sqrt(ubx * ubx + uby * uby));
    const double e = (c + 1) / 2;
    f.t = std::sqrt(r * r * e / (1 - e));

    const double ta = DirectionAngle(a.x1, a.y1, a.x2, a.y2);
    const double tb = DirectionAngle(b.x1, b.y1, b.x2, b.y2);
    if (ta < 0 || tb < 0) return false;

    // The arc starts on the line that has the other to its left, so that it runs
    // counter-clockwise.
    double rx, ry;
    RotatePoint(a.x1, a.y1, -ta, b.x1, b.y1, rx, ry);
    f.aFirst = ry > a.y1;
    const LineElement& first = f.aFirst ? a : b;
    const LineElement& second = f.aFirst ? b : a;
    const double tf = f.aFirst ? ta : tb, tg = f.aFirst ? tb : ta;

    // In the first line's frame the corner lies on the horizontal through its far end.
    double kx, ky;
    RotatePoint(first.x1, first.y1, -tf, first.x2, first.y2, kx, ky);
    RotatePoint(first.x1, first.y1, tf, kx - f.t, first.y1 + r, f.cx, f.cy);
    RotatePoint(first.x1, first.y1, tf, kx - f.t, first.y1, f.t1x, f.t1y);

    RotatePoint(second.x1, second.y1, -tg, second.x2, second.y2, kx, ky);
    RotatePoint(second.x1, second.y1, tg, kx - f.t, second.y1, f.t2x, f.t2y);

    // A NaN compares false, so these loops end whatever came before; the angles are at most 540.
    PointAngleDeg(f.t1x, f.t1y, f.cx, f.cy, f.start);
    while (f.start >= 360.0) f.start -= 360.0;
    f.sweep = 180.0 - std::acos(c) * 180.0 * kInvPi;
    f.end = f.sweep + f.start;
    while (f.end >= 360.0) f.end -= 360.0;
    return true;
}

}  // namespace

int TrimToCorner(LineElement& a, LineElement& b, double p1x, double p1y, double p2x, double p2y) {
    double x, y;
    if (crossline(a, b, x, y) == -1) return 0;
    TrimEndToCorner(a, x, y, p1x, p1y);
    TrimEndToCorner(b, x, y, p2x, p2y);
    return 1;
}

int FilletLines(CircleElement& arc, LineElement& a, LineElement& b, double p1x, double p1y,
                double p2x, double p2y) {
    // The caller has taken both lines out of the drawing and puts back what it gets here, so a
    // failure must hand back the lines as they came rather than anything half computed.
    const LineElement entryA = a, entryB = b;
    const CircleElement entryArc = arc;
    FpFaultScope scope;
    if (TrimToCorner(a, b, p1x, p1y, p2x, p2y) == 0) return 0;

    // Make the corner the second end of both.
    if (SamePoint(a.x1, a.y1, b.x1, b.y1)) {
        SwapEnds(a);
        SwapEnds(b);
    } else if (SamePoint(a.x2, a.y2, b.x1, b.y1)) {
        SwapEnds(b);
    } else if (SamePoint(a.x1, a.y1, b.x2, b.y2)) {
        SwapEnds(a);
    }

    Fillet f;
    const bool found = ComputeFillet(OpaqueCopy(a), OpaqueCopy(b), Opaque(arc.radius), f);
    // c rounds to 1 or above for nearly coincident directions (t then infinite or NaN); to -1 for
    // lines that run straight on, where the sweep comes out zero or a hair below it and the arc
    // would be stored as a full circle or nearly one.
    if (!found || scope.Faulted({f.t, f.cx, f.cy, f.t1x, f.t1y, f.t2x, f.t2y, f.start, f.end}) ||
        !(f.sweep > 0)) {
        ShowMessage("FilletLines");
        a = entryA;
        b = entryB;
        arc = entryArc;
        return 0;
    }

    LineElement& first = f.aFirst ? a : b;
    LineElement& second = f.aFirst ? b : a;
    first.x2 = f.t1x;
    first.y2 = f.t1y;
    second.x2 = f.t2x;
    second.y2 = f.t2y;
    arc.cx = f.cx;
    arc.cy = f.cy;
    arc.startAngle = f.start;
    arc.endAngle = f.end;
    return 1;
}

int ChamferLines(LineElement& join, LineElement& a, LineElement& b, double p1x, double p1y,
                 double p2x, double p2y, double d) {
    const LineElement entryA = a, entryB = b;
    if (TrimToCorner(a, b, p1x, p1y, p2x, p2y) == 0) return 0;
    // The corner is the end the lines share after the trim.
    if (SamePoint(a.x1, a.y1, b.x1, b.y1) || SamePoint(a.x1, a.y1, b.x2, b.y2)) SwapEnds(a);
    if (SamePoint(b.x1, b.y1, a.x2, a.y2)) SwapEnds(b);
    const auto cut = [d](LineElement& l, double& x, double& y) {
        const double dx = l.x2 - l.x1, dy = l.y2 - l.y1;
        const double length = std::sqrt(dx * dx + dy * dy);
        if (!(d > 0) || !(d < length) || !std::isfinite(length)) return false;
        x = l.x2 - dx / length * d;
        y = l.y2 - dy / length * d;
        return std::isfinite(x) && std::isfinite(y);
    };
    double ax, ay, bx, by;
    if (!cut(a, ax, ay) || !cut(b, bx, by) || SamePoint(ax, ay, bx, by)) {
        ShowMessage("ChamferLines");
        a = entryA;
        b = entryB;
        return 0;
    }
    a.x2 = ax;
    a.y2 = ay;
    b.x2 = bx;
    b.y2 = by;
    join.x1 = ax;
    join.y1 = ay;
    join.x2 = bx;
    join.y2 = by;
    return 1;
}

int OffsetLine(LineElement& out, const LineElement& line, double px, double py, double d) {
    const double t = DirectionAngle(line.x1, line.y1, line.x2, line.y2);
    if (t < 0) return 0;
    double rx, ry;
    RotatePoint(line.x1, line.y1, -t, px, py, rx, ry);
    if (ry < line.y1) d = -d;
    double kx, ky;
    RotatePoint(line.x1, line.y1, -t, line.x2, line.y2, kx, ky);
    double x1, y1, x2, y2;
    RotatePoint(line.x1, line.y1, t, line.x1, line.y1 + d, x1, y1);
    RotatePoint(line.x1, line.y1, t, kx, line.y1 + d, x2, y2);
    // The caller's record stays all zero on failure, which its store refuses.
    if (!AllFinite({x1, y1, x2, y2})) return 0;
    out.x1 = x1;
    out.y1 = y1;
    out.x2 = x2;
    out.y2 = y2;
    return 1;
}

int LineFoot(const LineElement& line, double px, double py, double& fx, double& fy) {
    const double t = DirectionAngle(line.x1, line.y1, line.x2, line.y2);
    if (t < 0) return 0;
    double rx, ry, x, y;
    RotatePoint(line.x1, line.y1, -t, px, py, rx, ry);
    RotatePoint(line.x1, line.y1, t, rx, line.y1, x, y);
    if (!AllFinite({x, y})) return 0;
    fx = x;
    fy = y;
    if (line.x1 != line.x2) return line.x1 <= x && x <= line.x2 ? 1 : 0;
    return line.y1 <= y && y <= line.y2 ? 1 : 0;
}
