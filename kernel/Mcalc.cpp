// Numeric helpers of the plane and the floating-point fault watch.
#include "kernel/Mcalc.h"

#include <algorithm>
#include <cfenv>

#include "kernel/UserPrompts.h"

namespace {

constexpr int kFaultFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

// Open scopes on this thread. The status flags are per thread too.
thread_local int openScopes = 0;

double DirectionAngleOf(double dx, double dy, double squared) {
    if (squared < kTolerance) return -1.0;
    int q;
    double a, b;  // both non-negative
    if (dx >= 0 && dy >= 0) {
        q = 0, a = dx, b = dy;
    } else if (dx < 0 && dy >= 0) {
        q = 1, a = dy, b = -dx;
    } else if (dx < 0 && dy < 0) {
        q = 2, a = -dx, b = -dy;
    } else {
        q = 3, a = -dy, b = dx;
    }
    const double r = b > a ? kPi / 2 - std::atan(a / b) : std::atan(b / a);
    return q * (kPi / 2) + r;
}

}  // namespace

FpFaultScope::FpFaultScope() noexcept : saved_(std::fetestexcept(kFaultFlags)) {
    if (saved_) std::feclearexcept(kFaultFlags);
    ++openScopes;
}

FpFaultScope::~FpFaultScope() {
    --openScopes;
    if (std::fetestexcept(kFaultFlags)) std::feclearexcept(kFaultFlags);
    // The outermost scope drops what it found on entry: nobody is watching those flags.
    if (openScopes > 0 && saved_) std::feraiseexcept(saved_);
}

bool FpFaultScope::Faulted(std::initializer_list<double> results) const noexcept {
    return std::fetestexcept(kFaultFlags) != 0 || !AllFinite(results);
}

double AbsValue(double x) { return std::fabs(x); }

double DirectionAngle(double px, double py, double qx, double qy) {
    const double dx = qx - px, dy = qy - py;
    const double squared = dx * dx + dy * dy;
    // A finite squared length means finite components and no overflow; the division then has the
    // larger component (> 0) as divisor and a quotient in [0, 1], so nothing further can fault.
    // This is the path of every ordinary call, and it needs no look at the status.
    if (std::isfinite(squared)) return DirectionAngleOf(dx, dy, squared);

    FpFaultScope scope;
    const double dx2 = Opaque(qx) - Opaque(px), dy2 = Opaque(qy) - Opaque(py);
    const double r = DirectionAngleOf(dx2, dy2, dx2 * dx2 + dy2 * dy2);
    if (scope.Faulted({r})) {
        ShowMessage("cir_cir");
        return -1.0;
    }
    return r;
}

double DirectionAngleDeg(double px, double py, double qx, double qy) {
    return RadToDeg(Round5(DirectionAngle(px, py, qx, qy)));
}

double AngleBetweenVectors(double ux, double uy, double vx, double vy) {
    const double uu = ux * ux + uy * uy;
    const double vv = vx * vx + vy * vy;
    if (uu < kTolerance || vv < kTolerance) return 0.0;
    const double m = (ux * vx + uy * vy) / std::sqrt(uu * vv);
    if (m < -1.0) return -180.0;
    // Past 1 the vectors point the same way: the angle is 0, not 180.
    if (m > 1.0) return 0.0;
    // Rounded in radians, then converted.
    return RadToDeg(Round5(std::acos(m)));
}

double AngleAtVertex(double x0, double y0, double x1, double y1, double x2, double y2) {
    return AngleBetweenVectors(x1 - x0, y1 - y0, x1 - x2, y1 - y2);
}

double PointDistance(double px, double py, double qx, double qy) {
    const double dx = qx - px, dy = qy - py;
    return std::sqrt(dx * dx + dy * dy);
}

void RotatePoint(double ox, double oy, double theta, double px, double py, double& x, double& y) {
    const double dx = px - ox, dy = py - oy;
    const double c = std::cos(theta), s = std::sin(theta);
    x = ox + dx * c - dy * s;
    y = oy + dx * s + dy * c;
}

void PointAngleDeg(double px, double py, double ox, double oy, double& angle) {
    double a = Round5(RadToDeg(std::atan2(py - oy, px - ox)));
    if (a < 0) a += 360.0;
    angle = a;
}

void PolarPoint(double& x, double& y, double ox, double oy, double angle, double r) {
    const double a = DegToRad(angle);
    x = ox + r * std::cos(a);
    y = oy + r * std::sin(a);
}

int ProjectionSide(double ax, double ay, double bx, double by, double px, double py) {
    const double theta = DirectionAngle(ax, ay, bx, by);
    if (theta < 0) return 0;
    // Lay AB along the positive x axis.
    double rbx, rby, rpx, rpy;
    RotatePoint(ax, ay, -theta, bx, by, rbx, rby);
    RotatePoint(ax, ay, -theta, px, py, rpx, rpy);
    const double lo = std::min(ax, rbx), hi = std::max(ax, rbx);
    if (lo > rpx) return -1;
    if (rpx > hi) return 1;
    return 0;
}
