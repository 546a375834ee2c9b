// Where the DXF import puts what it reads: the store, placements by an affine map, and the
// chains that stand for curves the store has no element for.
#include "files/DxfSink.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "files/DxfReader.h"
#include "kernel/Elements.h"
#include "kernel/Mcircle.h"
#include "model/DrawingStore.h"

void DxfStoreSink::Line(double x1, double y1, double x2, double y2) {
    store_.AppendLine(x1, y1, x2, y2);
}

void DxfStoreSink::Arc(double cx, double cy, double r, double a0, double a1) {
    store_.AppendCircle(cx, cy, r, a0, a1);
}

void DxfStoreSink::Text(double x, double y, const std::string& text, double height, double angle) {
    if (!store_.AppendText(x, y, text, height, angle)) ++refusedTexts;
}

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

double Degrees360(double degrees) {
    double a = std::fmod(degrees, 360.0);
    if (a < 0.0) a += 360.0;
    if (a >= 360.0) a = 0.0;
    return a;
}

bool Usable(double v) { return DxfRealUsable(v); }

}  // namespace

DxfAffine DxfAffine::After(const DxfAffine& m) const {
    return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c,
            c * m.b + d * m.d, a * m.e + b * m.f + e, c * m.e + d * m.f + f};
}

bool DxfAffine::Finite() const {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) &&
           std::isfinite(e) && std::isfinite(f);
}

DxfAffine DxfAffine::ScaleRotate(double sx, double sy, double degrees) {
    double cs = 1.0, sn = 0.0;
    // Right angles exactly, so that a quarter turn of a block keeps its coordinates whole.
    const double r = Degrees360(degrees);
    if (r == 90.0) {
        cs = 0.0, sn = 1.0;
    } else if (r == 180.0) {
        cs = -1.0, sn = 0.0;
    } else if (r == 270.0) {
        cs = 0.0, sn = -1.0;
    } else if (r != 0.0) {
        cs = std::cos(r * kDegree), sn = std::sin(r * kDegree);
    }
    return {cs * sx, -sn * sy, sn * sx, cs * sy, 0.0, 0.0};
}

bool DxfAffine::Ocs(double nx, double ny, double nz, double z, DxfAffine& out) {
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(length > 0.0) || !std::isfinite(length)) return false;
    nx /= length, ny /= length, nz /= length;
    double ax, ay, az;
    if (std::fabs(nx) < 1.0 / 64.0 && std::fabs(ny) < 1.0 / 64.0) {
        ax = nz, ay = 0.0, az = -nx;  // world y cross n
    } else {
        ax = -ny, ay = nx, az = 0.0;  // world z cross n
    }
    const double la = std::sqrt(ax * ax + ay * ay + az * az);
    ax /= la, ay /= la, az /= la;
    // The y axis is n cross the x axis.
    double bx = ny * az - nz * ay, by = nz * ax - nx * az, bz = nx * ay - ny * ax;
    const double lb = std::sqrt(bx * bx + by * by + bz * bz);
    bx /= lb, by /= lb, bz /= lb;
    out = {ax, bx, ay, by, nx * z, ny * z};
    return out.Finite();
}

void AppendEllipseArc(DxfSink& out, const DxfCurveSettings& settings, double cx, double cy,
                      double ux, double uy, double vx, double vy, double t0, double t1) {
    if (!(t1 > t0)) return;
    const double resolution = std::clamp(settings.resolution, 1.0, 20.0);
    const double perTurn = 24.0 * resolution;  // 120 chords a turn by default: off by 3.4e-4 r
    const double span = std::min(t1 - t0, 2.0 * std::numbers::pi);
    const int n = std::max(4, int(std::ceil(perTurn * span / (2.0 * std::numbers::pi))));
    auto at = [&](double t, double& x, double& y) {
        x = cx + ux * std::cos(t) + vx * std::sin(t);
        y = cy + uy * std::cos(t) + vy * std::sin(t);
    };
    double x = 0.0, y = 0.0;
    at(t0, x, y);
    if (!Usable(x) || !Usable(y)) return;
    DxfArcChain chain(out, settings.arcAngleMin, settings.arcAngleMax, x, y);
    for (int i = 1; i <= n; ++i) {
        at(i == n ? t0 + span : t0 + span * i / n, x, y);
        if (!Usable(x) || !Usable(y)) return;
        chain.Put(x, y);
    }
    chain.Close();
}

DxfPlacedSink::DxfPlacedSink(DxfSink& out, const DxfAffine& map, const DxfCurveSettings& curves)
    : out_(out), map_(map), curves_(curves) {
    const double det = map.a * map.d - map.b * map.c;
    const double s = std::hypot(map.a, map.c);
    const double tolerance = 1e-9 * s;
    mirrored_ = det < 0.0;
    similar_ = s > 0.0 && (mirrored_ ? std::fabs(map.a + map.d) <= tolerance &&
                                           std::fabs(map.b - map.c) <= tolerance
                                     : std::fabs(map.a - map.d) <= tolerance &&
                                           std::fabs(map.b + map.c) <= tolerance);
    scale_ = s;
    rotation_ = std::atan2(map.c, map.a) / kDegree;
}

void DxfPlacedSink::Line(double x1, double y1, double x2, double y2) {
    double p, q, r, s;
    map_.Apply(x1, y1, p, q);
    map_.Apply(x2, y2, r, s);
    if (Usable(p) && Usable(q) && Usable(r) && Usable(s)) out_.Line(p, q, r, s);
}

void DxfPlacedSink::Arc(double cx, double cy, double r, double a0, double a1) {
    double x, y;
    map_.Apply(cx, cy, x, y);
    if (!Usable(x) || !Usable(y)) return;
    if (similar_) {
        const double radius = r * scale_;
        if (!Usable(radius)) return;
        if (a0 == a1) {
            out_.Arc(x, y, radius, 0.0, 0.0);
            return;
        }
        const double s = mirrored_ ? Degrees360(rotation_ - a1) : Degrees360(rotation_ + a0);
        const double e = mirrored_ ? Degrees360(rotation_ - a0) : Degrees360(rotation_ + a1);
        if (s != e) out_.Arc(x, y, radius, s, e);
        return;
    }
    double t0 = 0.0, t1 = 2.0 * std::numbers::pi;
    if (a0 != a1) {
        t0 = a0 * kDegree;
        t1 = a1 * kDegree;
        while (t1 <= t0) t1 += 2.0 * std::numbers::pi;
    }
    AppendEllipseArc(out_, curves_, x, y, map_.a * r, map_.c * r, map_.b * r, map_.d * r, t0, t1);
}

void DxfPlacedSink::Text(double x, double y, const std::string& text, double height,
                         double angle) {
    double px, py;
    map_.Apply(x, y, px, py);
    if (!Usable(px) || !Usable(py)) return;
    // Glyphs cannot be mirrored: the text keeps its up direction, so a block mirrored left to
    // right still reads from left to right.
    const double ux = -std::sin(angle * kDegree), uy = std::cos(angle * kDegree);
    const double mx = map_.a * ux + map_.b * uy, my = map_.c * ux + map_.d * uy;
    const double up = std::hypot(mx, my);
    double placed = angle;
    if (up > 0.0) placed = Degrees360(std::atan2(my, mx) / kDegree - 90.0);
    const double h = height * up;
    out_.Text(px, py, text, Usable(h) ? h : height, placed);
}

DxfArcChain::DxfArcChain(DxfSink& out, double lower, double upper, double x, double y)
    : out_(out), lower_(lower), upper_(upper) {
    x_[0] = x;
    y_[0] = y;
}

void DxfArcChain::Put(double x, double y) {
    x_[next_] = x;
    y_[next_] = y;
    if (next_ == 1) {
        next_ = 2;
        return;
    }
    Fit();
    x_[0] = x_[2];
    y_[0] = y_[2];
    next_ = 1;
}

void DxfArcChain::Close() {
    if (next_ == 2) out_.Line(x_[0], y_[0], x_[1], y_[1]);
    next_ = 1;
}

void DxfArcChain::Fit() {
    CircleElement arc;
    if (ThreePointArcTest(arc, x_[0], y_[0], x_[1], y_[1], x_[2], y_[2], lower_, upper_) &&
        Usable(arc.cx) && Usable(arc.cy) && Usable(arc.radius)) {
        out_.Arc(arc.cx, arc.cy, arc.radius, arc.startAngle, arc.endAngle);
        return;
    }
    out_.Line(x_[0], y_[0], x_[1], y_[1]);
    out_.Line(x_[1], y_[1], x_[2], y_[2]);
}
