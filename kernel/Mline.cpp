// Line elements: coefficients, storing, picking distance, crossing and angle of two lines.
#include "kernel/Mline.h"

#include <cmath>
#include <utility>

#include "kernel/Mcalc.h"
#include "kernel/UserPrompts.h"

namespace {

struct Crossing {
    double rawX, rawY;  // as divided, before the axis-parallel values replace them
    double x, y;        // the crossing the classification uses
    double outX, outY;  // rounded
};

// False for parallel or coincident lines.
bool CrossingOf(const LineElement& l1, const LineElement& l2, Crossing& c) {
    double a1, b1, c1, a2, b2, c2;
    LineCoefficients(l1, a1, b1, c1);
    LineCoefficients(l2, a2, b2, c2);
    const double det = a1 * b2 - a2 * b1;
    if (-kTolerance < det && det < kTolerance) return false;
    c.rawX = (c2 * b1 - c1 * b2) / det;
    c.rawY = (c1 * a2 - c2 * a1) / det;
    c.x = c.rawX;
    c.y = c.rawY;
    // A later rule overrides an earlier one.
    if (a1 == 0) c.y = l1.y1;
    if (a2 == 0) c.y = l2.y1;
    if (b1 == 0) c.x = l1.x1;
    if (b2 == 0) c.x = l2.x1;
    c.outX = Round5(c.x);
    c.outY = Round5(c.y);
    return true;
}

bool IsEndOf(const LineElement& l, double x, double y) {
    return (x == l.x1 && y == l.y1) || (x == l.x2 && y == l.y2);
}

}  // namespace

LineElement OpaqueCopy(const LineElement& l) {
    LineElement c = l;
    c.x1 = Opaque(l.x1);
    c.y1 = Opaque(l.y1);
    c.x2 = Opaque(l.x2);
    c.y2 = Opaque(l.y2);
    return c;
}

void LineCoefficients(const LineElement& line, double& a, double& b, double& c) {
    a = line.y2 - line.y1;
    b = line.x1 - line.x2;
    c = line.x2 * line.y1 - line.x1 * line.y2;
}

int SetLineEnds(LineElement& line, double x1, double y1, double x2, double y2) {
    const double rx1 = Round5(x1), ry1 = Round5(y1), rx2 = Round5(x2), ry2 = Round5(y2);
    if (!AllFinite({rx1, ry1, rx2, ry2})) return 0;
    line.x1 = rx1;
    line.y1 = ry1;
    line.x2 = rx2;
    line.y2 = ry2;
    if (SamePoint(x1, y1, x2, y2)) return 0;
    if (line.x1 > line.x2 || (line.x1 == line.x2 && line.y1 > line.y2)) {
        std::swap(line.x1, line.x2);
        std::swap(line.y1, line.y2);
    }
    return 1;
}

bool WithinSegment(const LineElement& line, double x, double y) {
    return line.x1 <= x && x <= line.x2 && (y - line.y1) * (y - line.y2) <= 0;
}

double PointSegmentDistance(const LineElement& line, double px, double py) {
    const int side = ProjectionSide(line.x1, line.y1, line.x2, line.y2, px, py);
    if (side < 0) return PointDistance(px, py, line.x1, line.y1);
    if (side > 0) return PointDistance(px, py, line.x2, line.y2);
    double a, b, c;
    LineCoefficients(line, a, b, c);
    const double n = a * a + b * b;
    if (n < kTolerance) return -1.0;
    const double t = a * px + b * py + c;
    return std::sqrt(t * t / n);
}

int crossline(const LineElement& l1, const LineElement& l2, double& x, double& y) {
    Crossing c;
    if (!CrossingOf(l1, l2, c)) return -1;
    // Every coefficient and product feeds the divided or the rounded values, and the divisor is
    // at least 1e-5 in size: when these four are finite no fault can have happened. Only when one
    // is not does the status decide, over a second, watched run of the same arithmetic.
    if (!AllFinite({c.rawX, c.rawY, c.outX, c.outY})) {
        FpFaultScope scope;
        const bool crossing = CrossingOf(OpaqueCopy(l1), OpaqueCopy(l2), c);
        if (scope.Faulted({c.rawX, c.rawY, c.outX, c.outY})) {
            ShowMessage("L-L交点計算中エラー");
            return -1;
        }
        if (!crossing) return -1;
    }
    x = c.outX;
    y = c.outY;
    // The classification uses the unrounded crossing.
    if (IsEndOf(l1, c.x, c.y) || IsEndOf(l2, c.x, c.y)) return -2;
    return WithinSegment(l1, c.x, c.y) && WithinSegment(l2, c.x, c.y) ? 1 : 0;
}

double LineAngle(const LineElement& l1, const LineElement& l2) {
    return AngleBetweenVectors(l1.x2 - l1.x1, l1.y2 - l1.y1, l2.x2 - l2.x1, l2.y2 - l2.y1);
}
