// Crossings of circles and arcs with lines and with each other.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "kernel/Mcalc.h"
#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "kernel/UserPrompts.h"

namespace {

struct Roots {
    double n, dx, dy;  // a*a + b*b and the two discriminants
    int count;         // -1, 1 or 2
    double x1, y1, x2, y2;
};

// The arithmetic of LineCircleRoots, in coordinates relative to the centre, where the line is
// a*X + b*Y + u = 0. Solving for the coordinate along the larger coefficient keeps the other
// division well away from zero.
Roots RootsOf(const CircleElement& circle, double a, double b, double c) {
    Roots s{};
    const double cx = circle.cx, cy = circle.cy, rr = circle.radius * circle.radius;
    const double u = a * cx + b * cy + c;
    s.n = a * a + b * b;
    s.dx = (a * u) * (a * u) - (u * u - rr * b * b) * s.n;
    s.dy = (b * u) * (b * u) - (u * u - rr * a * a) * s.n;
    if (s.n < kTolerance || s.dx < 0 || s.dy < 0) {
        s.count = -1;
        return s;
    }
    s.count = s.dx < kTolerance && s.dy < kTolerance ? 1 : 2;
    const bool alongY = AbsValue(a) >= AbsValue(b);
    double X, Y;
    if (alongY) {
        Y = (std::sqrt(s.dy) - b * u) / s.n;
        X = -(u + b * Y) / a;
    } else {
        X = (std::sqrt(s.dx) - a * u) / s.n;
        Y = -(u + a * X) / b;
    }
    s.x1 = cx + Round5(X);
    s.y1 = cy + Round5(Y);
    if (s.count == 2) {
        if (alongY) {
            Y = (-b * u - std::sqrt(s.dy)) / s.n;
            X = -(u + b * Y) / a;
        } else {
            X = (-a * u - std::sqrt(s.dx)) / s.n;
            Y = -(u + a * X) / b;
        }
        s.x2 = cx + Round5(X);
        s.y2 = cy + Round5(Y);
    }
    return s;
}

// Every intermediate value of RootsOf feeds n, a discriminant or a point, the square roots are
// taken of non-negative values and the divisors are at least about 0.002 in size: when these are
// finite no fault can have happened.
bool ProvenClean(const Roots& s) {
    if (!AllFinite({s.n, s.dx, s.dy})) return false;
    if (s.count >= 1 && !AllFinite({s.x1, s.y1})) return false;
    if (s.count == 2 && !AllFinite({s.x2, s.y2})) return false;
    return true;
}

std::string RootsFaultText(double a, double b) {
    const double n = a * a + b * b;
    const int size = std::snprintf(nullptr, 0, "a1%lf b1%lf aabb%lf", a, b, n);
    std::string text(size > 0 ? size : 0, '\0');
    if (size > 0) std::snprintf(text.data(), text.size() + 1, "a1%lf b1%lf aabb%lf", a, b, n);
    return text;
}

bool OnArcs(const CircleElement& first, const CircleElement* second, double x, double y) {
    return PointOnArc(first, x, y) && (second == nullptr || PointOnArc(*second, x, y));
}

// Keeps, of the `count` points (1 or 2), those on the arc of `first` and, when given, of `second`,
// moving the second point into the first place when only it is kept. Returns the number kept.
// With finite arc angles the test is comparisons on finite values (the direction of each point
// handles its own faults), so the status is only watched when an angle is not finite; a fault
// then shows `message`, sets `faulted` and ends the test with the number kept so far.
int KeepOnArcs(int count, double& x1, double& y1, double x2, double y2, const CircleElement& first,
               const CircleElement* second, const char* message, bool& faulted) {
    faulted = false;
    const bool finiteAngles =
        AllFinite({first.startAngle, first.endAngle}) &&
        (second == nullptr || AllFinite({second->startAngle, second->endAngle}));
    if (finiteAngles) {
        const bool keep1 = OnArcs(first, second, x1, y1);
        const bool keep2 = count == 2 && OnArcs(first, second, x2, y2);
        if (keep2 && !keep1) {
            x1 = x2;
            y1 = y2;
        }
        return keep1 + keep2;
    }

    FpFaultScope scope;
    int kept = 0;
    const bool keep1 = OnArcs(first, second, Opaque(x1), Opaque(y1));
    if (scope.Faulted({keep1 ? 1.0 : 0.0})) {
        ShowMessage(message);
        faulted = true;
        return kept;
    }
    kept = keep1 ? 1 : 0;
    if (count == 2) {
        const bool keep2 = OnArcs(first, second, Opaque(x2), Opaque(y2));
        if (scope.Faulted({keep2 ? 1.0 : 0.0})) {
            ShowMessage(message);
            faulted = true;
            return kept;
        }
        if (keep2) {
            if (kept == 0) {
                x1 = x2;
                y1 = y2;
            }
            ++kept;
        }
    }
    return kept;
}

// Hands the points out: the first whenever there was a root, the second when there were two.
void StorePoints(int roots, double p1x, double p1y, double p2x, double p2y, double& x1, double& y1,
                 double& x2, double& y2) {
    x1 = p1x;
    y1 = p1y;
    if (roots == 2) {
        x2 = p2x;
        y2 = p2y;
    }
}

// The roots of a vertical or horizontal segment's line, taken the way crossline takes such
// lines: the coordinate across the line is the segment's own, exactly, and the one along it
// comes from r² − d², d the distance of the line from the centre. The general arithmetic
// cancels there: its discriminant, a⁴(r² − d²) formed as a difference of two terms of size
// a⁴r², came out a last bit negative for about half of such lines that cut a circle well
// inside, and its root missed the segment's own coordinate by a last bit just as often.
// The count and the order of the roots are those of the general arithmetic (a tangent when
// the discriminant is below the tolerance, the larger coordinate first); r² − d² negative
// by no more than rounding is a tangent. False when a value is not finite: the general
// arithmetic then reports the fault or refuses the segment.
bool AxisRoots(const CircleElement& circle, const LineElement& line, int& count, double& x1,
               double& y1, double& x2, double& y2) {
    const bool vertical = line.x1 == line.x2;
    const double across = vertical ? line.x1 - circle.cx : line.y1 - circle.cy;
    const double length = vertical ? line.y2 - line.y1 : line.x1 - line.x2;  // a or b
    const double rr = circle.radius * circle.radius, dd = across * across;
    double d = rr - dd;
    const double scale = length * length * (length * length);
    // Segments too short for a direction go the general way, which finds no crossing.
    if (!AllFinite({across, rr, d, scale}) || length * length < kTolerance) return false;
    if (d < 0) {
        if (d < -4 * std::numeric_limits<double>::epsilon() * (rr > dd ? rr : dd)) {
            count = -1;
            return true;
        }
        d = 0;
    }
    count = scale * d < kTolerance ? 1 : 2;
    const double root = std::sqrt(d);
    if (vertical) {
        x1 = x2 = line.x1;
        y1 = circle.cy + Round5(root);
        y2 = circle.cy + Round5(-root);
    } else {
        y1 = y2 = line.y1;
        x1 = circle.cx + Round5(root);
        x2 = circle.cx + Round5(-root);
    }
    return AllFinite({x1, y1, x2, y2});
}

}  // namespace

int LineCircleRoots(const CircleElement& circle, double a, double b, double c, double& x1,
                    double& y1, double& x2, double& y2) {
    Roots s = RootsOf(circle, a, b, c);
    // The store runs this for every pair of a line and a circle when a drawing is loaded; the
    // status is consulted only when the values cannot prove the run clean.
    if (!ProvenClean(s)) {
        FpFaultScope scope;
        CircleElement watched = circle;
        watched.cx = Opaque(circle.cx);
        watched.cy = Opaque(circle.cy);
        watched.radius = Opaque(circle.radius);
        s = RootsOf(watched, Opaque(a), Opaque(b), Opaque(c));
        if (scope.Faulted({s.n, s.dx, s.dy}) || (s.count >= 1 && scope.Faulted({s.x1, s.y1})) ||
            (s.count == 2 && scope.Faulted({s.x2, s.y2}))) {
            // No point that could reach the drawing: the crossing is given up.
            ShowMessage(RootsFaultText(a, b));
            return -1;
        }
    }
    if (s.count >= 1) {
        x1 = s.x1;
        y1 = s.y1;
    }
    if (s.count == 2) {
        x2 = s.x2;
        y2 = s.y2;
    }
    return s.count;
}

int crosscirp(const CircleElement& circle, const LineElement& line, double& x1, double& y1,
              double& x2, double& y2) {
    double p1x = 0, p1y = 0, p2x = 0, p2y = 0;
    int k;
    if ((line.x1 != line.x2 && line.y1 != line.y2) ||
        !AxisRoots(circle, line, k, p1x, p1y, p2x, p2y)) {
        double a, b, c;
        LineCoefficients(line, a, b, c);
        k = LineCircleRoots(circle, a, b, c, p1x, p1y, p2x, p2y);
    }
    if (k < 0) return -1;

    int result;
    const bool in1 = WithinSegment(line, p1x, p1y);
    if (k == 1) {
        result = in1 ? 1 : 0;
    } else {
        const bool in2 = WithinSegment(line, p2x, p2y);
        if (in2 && !in1) {
            p1x = p2x;
            p1y = p2y;
        }
        result = in1 + in2;
    }
    if (circle.startAngle != circle.endAngle && result > 0) {
        bool faulted;
        result = KeepOnArcs(result, p1x, p1y, p2x, p2y, circle, nullptr, "crosscirp", faulted);
    }
    StorePoints(k, p1x, p1y, p2x, p2y, x1, y1, x2, y2);
    return result;
}

int cir_cir(const CircleElement& c1, const CircleElement& c2, double& x1, double& y1, double& x2,
            double& y2) {
    const double dx = c2.cx - c1.cx, dy = c2.cy - c1.cy;
    if (dx == 0 && dy == 0) return -1;  // concentric
    // dx*x + dy*y + h = 0 is the common chord.
    const double h = 0.5 * (c1.cx * c1.cx - c2.cx * c2.cx + c1.cy * c1.cy - c2.cy * c2.cy -
                            c1.radius * c1.radius + c2.radius * c2.radius);
    double p1x = 0, p1y = 0, p2x = 0, p2y = 0;
    const int k = LineCircleRoots(c2, dx, dy, h, p1x, p1y, p2x, p2y);
    if (k <= 0) return -1;
    bool faulted;
    const int kept = KeepOnArcs(k, p1x, p1y, p2x, p2y, c2, &c1, "cir_cir", faulted);
    StorePoints(k, p1x, p1y, p2x, p2y, x1, y1, x2, y2);
    if (kept == 0 && !faulted) return -1;
    return kept;
}
