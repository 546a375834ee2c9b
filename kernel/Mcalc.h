// Numeric helpers of the plane: rounding, angles, distances, rotation, polar points, fault watch.
#pragma once

#include <cmath>
#include <initializer_list>

// The truncated constants behind every angle conversion, so that one angle has one value
// wherever it is computed.
inline constexpr double kPi = 3.14159265358979;
inline constexpr double kInvPi = 0.318309886183791;  // 1/pi to fifteen digits
// The one tolerance: on squared lengths, determinants, discriminants and twice-areas.
inline constexpr double kTolerance = 0.00001;

// v rounded to the nearest multiple of 0.00001, an exact half going down (0.000005 -> 0,
// -0.000005 -> -0.00001). The whole number of steps is scaled by dividing by 100000: that is the
// correctly rounded value of steps x 0.00001, whereas multiplying by the nearest double to
// 0.00001 would store a typed 3 as 3.0000000000000004. Never yields -0.0.
inline double Round5(double v) { return std::ceil(v * 100000.0 - 0.5) / 100000.0 + 0.0; }

// Degrees to radians: x (1/180) x pi; radians to degrees: x (1/pi) x 180, in this order.
inline double DegToRad(double degrees) { return degrees * (1.0 / 180.0) * kPi; }
inline double RadToDeg(double radians) { return radians * kInvPi * 180.0; }

inline bool AllFinite(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// Hands a value back through a volatile, so that arithmetic on it after a status check is done
// again rather than reused from before (the compiler treats arithmetic as free of side effects).
inline double Opaque(double v) {
    volatile double held = v;
    return held;
}

double AbsValue(double x);

// Direction of the vector P->Q in radians, in [0, 2 pi); -1.0 when its squared length is below
// 1e-5. An arithmetic fault shows "cir_cir" and gives -1.0.
double DirectionAngle(double px, double py, double qx, double qy);
// Round5(DirectionAngle(P, Q)) in degrees: -57.29578 for a degenerate vector.
double DirectionAngleDeg(double px, double py, double qx, double qy);
// The angle between u and v in degrees, from the arc cosine rounded in radians: 0.0 when either
// vector is shorter than about 0.00316 or when rounding puts the cosine above 1, -180.0 when it
// puts the cosine below -1.
double AngleBetweenVectors(double ux, double uy, double vx, double vy);
// AngleBetweenVectors(P1 - P0, P1 - P2): the interior angle at P1 of the path P0, P1, P2, about 180
// for a straight run and small for a sharp turn.
double AngleAtVertex(double x0, double y0, double x1, double y1, double x2, double y2);
double PointDistance(double px, double py, double qx, double qy);
// P rotated counter-clockwise by theta (radians) about O.
void RotatePoint(double ox, double oy, double theta, double px, double py, double& x, double& y);
// The angle of P seen from O in degrees, in [0, 360): Round5 of the degrees, plus 360 when
// negative.
void PointAngleDeg(double px, double py, double ox, double oy, double& angle);
// (Ox + r cos a, Oy + r sin a) for the angle a given in degrees.
void PolarPoint(double& x, double& y, double ox, double oy, double angle, double r);
// True when the squared distance is at most 1e-5.
inline bool SamePoint(double px, double py, double qx, double qy) {
    const double dx = qx - px, dy = qy - py;
    return dx * dx + dy * dy <= kTolerance;
}
// Where P projects onto the line AB: -1 before A, 1 beyond B, 0 between them inclusive (and 0
// when A and B coincide).
int ProjectionSide(double ax, double ay, double bx, double by, double px, double py);

// Watches the floating-point status for division by zero, invalid operations and overflow while
// it lives, for the routines that catch their own arithmetic faults and report them. The status
// is cleared when the scope opens (flags left over from unrelated code are not blamed on the
// routine) and cleared again when it closes (a fault is reported once); a scope opened inside
// another gives the outer one back whatever it had seen before. Arithmetic to be watched must
// start from values the compiler cannot have used before the scope opened (see Opaque).
class FpFaultScope {
public:
    FpFaultScope() noexcept;
    ~FpFaultScope();
    FpFaultScope(const FpFaultScope&) = delete;
    FpFaultScope& operator=(const FpFaultScope&) = delete;

    // True when a fault has been raised since the scope opened or when one of `results` is not
    // finite. Pass the values just computed: as arguments of a call the compiler must evaluate
    // them before the status is read, which it would otherwise be free to postpone.
    bool Faulted(std::initializer_list<double> results = {}) const noexcept;

private:
    int saved_;
};
