// The import of one DXF file: the boundaries of hatches, as lines, arcs and curves.
#include <cmath>
#include <numbers>

#include "files/DxfImport.h"

namespace {

struct Pair {
    int code;
    double real;
    int32_t integer;
    bool converted;
};

// The hatch's pairs in order, read one by one by what they mean.
class Cursor {
public:
    explicit Cursor(const std::vector<Pair>& pairs) : pairs_(pairs) {}
    bool AtEnd() const { return i_ >= pairs_.size(); }
    // The next pair if it has this code.
    const Pair* Take(int code) {
        if (AtEnd() || pairs_[i_].code != code) return nullptr;
        return &pairs_[i_++];
    }
    double Real(int code, double otherwise = 0.0) {
        const Pair* p = Take(code);
        return p && p->converted && DxfRealUsable(p->real) ? p->real : otherwise;
    }
    int32_t Integer(int code, int32_t otherwise = 0) {
        const Pair* p = Take(code);
        return p && p->converted ? p->integer : otherwise;
    }
    // Skips to the next pair of this code; false when there is none.
    bool SeekTo(int code) {
        while (!AtEnd() && pairs_[i_].code != code) ++i_;
        return !AtEnd();
    }
    bool Next(int code) const { return !AtEnd() && pairs_[i_].code == code; }

private:
    const std::vector<Pair>& pairs_;
    std::size_t i_ = 0;
};

constexpr double kDegree = std::numbers::pi / 180.0;

}  // namespace

void DxfImport::ReadHatch() {
    Common c;
    std::vector<Pair> pairs;
    double z = 0.0;
    bool tooMany = false;
    bool paths = false;  // the elevation point comes before the boundary data
    DxfReadPairs(file_, [&](int code, const DxfGroupValue& v) {
        if (c.Group(code, v, layers_)) return;
        if (!paths && code == 30) {
            if (v.converted && DxfRealUsable(v.real)) z = v.real;
            return;
        }
        if (code == 91) paths = true;
        if (!paths) return;
        if (int64_t(pairs.size()) >= settings_.maxEntityPoints) {
            tooMany = true;
            return;
        }
        pairs.push_back({code, v.real, v.integer, v.converted});
    });
    if (tooMany) {
        ++largePolylines_;
        return;
    }
    if (Dropped(c) || pairs.empty()) return;
    Emit(c, z, [&](DxfSink& out) {
        Cursor in(pairs);
        const int32_t count = in.Integer(91);
        for (int32_t path = 0; path < count; ++path) {
            if (!in.SeekTo(92)) return;
            const int32_t type = in.Integer(92);
            if (type & 2) {
                // A polyline boundary: vertices with bulges.
                const bool bulges = in.Integer(72) != 0;
                const bool closed = in.Integer(73) != 0;
                const int32_t n = in.Integer(93);
                std::vector<Vertex> points;
                // Counts are only believed as far as the data goes.
                for (int32_t k = 0; k < n && in.Next(10); ++k) {
                    Vertex p{in.Real(10), in.Real(20), 0.0, 0, {}};
                    if (bulges) p.bulge = in.Real(42);
                    points.push_back(p);
                }
                EmitChain(out, points, closed, true);
                continue;
            }
            const int32_t edges = in.Integer(93);
            for (int32_t k = 0; k < edges && in.Next(72); ++k) {
                const int32_t kind = in.Integer(72);
                if (kind == 1) {
                    const double x1 = in.Real(10), y1 = in.Real(20);
                    const double x2 = in.Real(11), y2 = in.Real(21);
                    out.Line(x1, y1, x2, y2);
                } else if (kind == 2 || kind == 3) {
                    const double cx = in.Real(10), cy = in.Real(20);
                    double mx = 0.0, my = 0.0;
                    if (kind == 3) mx = in.Real(11), my = in.Real(21);
                    const double r = in.Real(40);
                    double s = in.Real(50), e = in.Real(51);
                    // Clockwise edges are written with the complements of their angles.
                    if (in.Integer(73, 1) == 0) {
                        const double t = s;
                        s = 360.0 - e;
                        e = 360.0 - t;
                    }
                    const bool full = std::fabs(e - s) >= 360.0;
                    if (kind == 2) {
                        if (full)
                            out.Arc(cx, cy, r, 0.0, 0.0);
                        else if (std::fmod(s, 360.0) != std::fmod(e, 360.0))
                            out.Arc(cx, cy, r, s, e);
                    } else {
                        double t0 = s * kDegree, t1 = e * kDegree;
                        while (t1 <= t0) t1 += 2.0 * std::numbers::pi;
                        if (full) t1 = t0 + 2.0 * std::numbers::pi;
                        AppendEllipseArc(out, curves_, cx, cy, mx, my, -my * r, mx * r, t0, t1);
                    }
                } else if (kind == 4) {
                    SplineData spline;
                    spline.order = in.Integer(94) + 1;
                    const bool rational = in.Integer(73) != 0;
                    in.Integer(74);
                    const int32_t knots = in.Integer(95), controls = in.Integer(96);
                    spline.declared = controls;
                    for (int32_t q = 0; q < knots && in.Next(40); ++q)
                        spline.knots.push_back(in.Real(40));
                    for (int32_t q = 0; q < controls && in.Next(10); ++q) {
                        spline.x.push_back(in.Real(10));
                        spline.y.push_back(in.Real(20));
                        if (rational) spline.weights.push_back(in.Real(42, 1.0));
                    }
                    const int32_t fits = in.Integer(97);
                    for (int32_t q = 0; q < fits && in.Next(11); ++q) {
                        in.Take(11);
                        in.Take(21);
                    }
                    in.Take(12), in.Take(22), in.Take(13), in.Take(23);
                    if (spline.order <= kMaxSplineOrder && controls > 0)
                        AppendSplineChain(out, settings_, spline);
                } else {
                    return;  // data this reader does not follow: the rest is not guessed at
                }
            }
        }
    });
}
