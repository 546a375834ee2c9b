// Splines of a DXF file: reading their data, evaluating the B-spline, and fitting lines and arcs to
// it.
#include "files/Spline.h"

#include "files/DxfSink.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "kernel/Elements.h"
#include "kernel/Mcircle.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"

void SplineData::Clear() {
    order = 0;
    declared = -1;
    x.clear();
    y.clear();
    knots.clear();
    weights.clear();
    layer.clear();
    paper = invisible = false;
}

namespace {

bool Push(std::vector<double>& table, double v) {
    try {
        table.push_back(v);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// The first span s in k-1 .. n-1 with knots[s] <= t < knots[s+1]; at the very end of the
// parameter range the last non-empty span, so that the end point can be evaluated; -1 when t
// lies outside the range. The knots are sorted, so a binary search finds the same span as a
// scan from the start would.
int FindSpan(int k, int n, double t, const double* knots) {
    if (!(t >= knots[k - 1])) return -1;
    const double* first = knots + k;
    const double* last = knots + n + 1;
    const double* above = std::upper_bound(first, last, t);
    if (above != last) return int(above - knots) - 1;
    if (t != knots[n]) return -1;
    int s = n - 1;
    while (s > k - 1 && !(knots[s] < knots[s + 1])) --s;
    return s;
}

// What the evaluation relies on; n is the number of control points that take part.
SplineResult CheckSpline(const SplineData& data, int& n) {
    const int k = data.order;
    if (k < 1 || k > kMaxSplineOrder) return SplineResult::Unreadable;
    const int64_t count = int64_t(data.x.size());
    if (count > INT32_MAX - kMaxSplineOrder) return SplineResult::TooLarge;
    // Control points past the declared count are not part of the spline.
    const int64_t declared = data.declared >= 0 ? data.declared : count;
    if (declared < 1 || declared > count || declared < k) return SplineResult::Unreadable;
    n = int(declared);
    if (int64_t(data.knots.size()) < int64_t(n) + k) return SplineResult::Unreadable;
    if (!data.weights.empty()) {
        if (int64_t(data.weights.size()) < n) return SplineResult::Unreadable;
        for (int i = 0; i < n; ++i)
            if (!(data.weights[std::size_t(i)] > 0.0)) return SplineResult::Unreadable;
    }
    const double* knots = data.knots.data();
    for (int i = 1; i < n + k; ++i)
        if (knots[i] < knots[i - 1]) return SplineResult::Unreadable;
    if (!(knots[n] > knots[k - 1])) return SplineResult::Unreadable;
    return SplineResult::Converted;
}

}  // namespace

SplineResult ReadSplineData(DxfPairReader& file, SplineData& data, int64_t maxPoints,
                            const std::function<void(const std::string&)>& tell) {
    data.Clear();
    bool bad = false, tooLarge = false, unreadable = false, noMemory = false;
    double x = 0.0, y = 0.0;
    auto fail = [&](const char* message) {
        // Told once; the tables are let go, and the rest of the spline is only read past.
        if (tell)
            tell(message);
        else
            ShowMessage(message);
        noMemory = true;
        std::vector<double>().swap(data.x);
        std::vector<double>().swap(data.y);
        std::vector<double>().swap(data.knots);
        std::vector<double>().swap(data.weights);
    };
    // Up to the next entity's pair, which is handed back: its own data must not be taken
    // for this spline's.
    DxfReadPairs(file, [&](int code, const DxfGroupValue& v) {
        if (noMemory) return;
        const bool usable = v.converted && DxfRealUsable(v.real);
        switch (code) {
            case 10:
            case 20: {
                // A value that does not convert leaves the group's previous value.
                if (v.converted && !usable) bad = true;
                double& target = code == 10 ? x : y;
                if (usable) target = v.real;
                if (code == 10) break;
                if (int64_t(data.x.size()) >= maxPoints) {
                    tooLarge = true;
                } else if (!Push(data.x, x) || !Push(data.y, y)) {
                    fail("vertexメモリ確保に失敗しました");
                }
                break;
            }
            case 40:
            case 41: {
                // A knot or weight that cannot be read leaves a gap no previous value fills.
                if (!v.converted) unreadable = true;
                if (!usable) {
                    bad = bad || v.converted;
                    break;
                }
                std::vector<double>& table = code == 40 ? data.knots : data.weights;
                if (int64_t(table.size()) >= maxPoints + kMaxSplineOrder)
                    tooLarge = true;
                else if (!Push(table, v.real))
                    fail(code == 40 ? "knotメモリ確保に失敗しました"
                                    : "vertexメモリ確保に失敗しました");
                break;
            }
            case 71:
                if (v.converted)
                    data.order = int32_t(
                        std::clamp<int64_t>(int64_t(v.integer) + 1, 0, kMaxSplineOrder + 1));
                break;
            case 73:
                if (v.converted) data.declared = std::max(v.integer, -1);
                break;
            case 8:
                data.layer.assign(DxfName(v.line));
                break;
            case 60:
            case 67:
                if (v.converted) (code == 60 ? data.invisible : data.paper) = v.integer == 1;
                break;
            default:  // flags, fit points, tangents, tolerances, ...
                break;
        }
    });
    if (noMemory) return SplineResult::NoMemory;
    if (bad) return SplineResult::BadValue;
    if (tooLarge) return SplineResult::TooLarge;
    if (unreadable) return SplineResult::Unreadable;
    return SplineResult::Converted;
}

SplineResult ConvertSpline(DxfPairReader& file, DxfSink& out, const DxfReadSettings& settings,
                           SplineData& data) {
    const SplineResult read = ReadSplineData(file, data, settings.maxEntityPoints);
    if (read != SplineResult::Converted) return read;
    return AppendSplineChain(out, settings, data);
}

SplineResult ConvertSpline(DxfPairReader& file, DrawingStore& store,
                           const DxfReadSettings& settings, SplineData& data) {
    DxfStoreSink out(store);
    return ConvertSpline(file, out, settings, data);
}

SplineResult AppendSplineChain(DrawingStore& store, const DxfReadSettings& settings,
                               const SplineData& data) {
    DxfStoreSink out(store);
    return AppendSplineChain(out, settings, data);
}

SplineResult AppendSplineChain(DxfSink& out, const DxfReadSettings& settings,
                               const SplineData& data) {
    int n = 0;
    const SplineResult checked = CheckSpline(data, n);
    if (checked != SplineResult::Converted) return checked;
    const int k = data.order;
    if (k == 2) {
        // A spline of degree 1 is its control polygon, corners and all.
        for (int i = 1; i < n; ++i) out.Line(data.x[i - 1], data.y[i - 1], data.x[i], data.y[i]);
        return SplineResult::Converted;
    }
    const double* knots = data.knots.data();
    const double* weights = data.weights.empty() ? nullptr : data.weights.data();
    // The settings dialog gives whole values from 1 to 20; anything else would make the step
    // useless or the number of samples unbounded.
    double resolution = settings.splineResolution;
    if (!(resolution >= 1.0)) resolution = 1.0;
    if (resolution > 20.0) resolution = 20.0;

    const double first = knots[k - 1], last = knots[n];
    const double dt = (last - first) / n / resolution;
    if (!(dt > 0.0)) return SplineResult::Unreadable;

    // Slot 0 starts at the first control point itself, not at an evaluated point.
    DxfArcChain chain(out, settings.arcAngleMin, settings.arcAngleMax, data.x[0], data.y[0]);
    // About n x resolution samples; the bound only matters where the sum of steps stalls or
    // crawls in the rounding of large parameter values.
    const int64_t limit = int64_t(2.0 * n * resolution) + 4;
    double px = 0.0, py = 0.0;
    double t = first;
    for (int64_t i = 0; t < last && i < limit; ++i) {
        if (!SplinePoint(k, n, t, knots, data.x.data(), data.y.data(), weights, px, py))
            return SplineResult::BadValue;
        chain.Put(px, py);
        const double next = t + dt;
        if (!(next > t)) break;
        t = next;
    }
    // The end point too, so that outlines made of splines stay closed.
    if (!SplinePoint(k, n, last, knots, data.x.data(), data.y.data(), weights, px, py))
        return SplineResult::BadValue;
    chain.Put(px, py);
    chain.Close();
    return SplineResult::Converted;
}

void SplineBasis(int k, double t, int span, const double* knots, double* values) {
    double table[kMaxSplineOrder][kMaxSplineOrder + 1] = {};
    table[0][k - 1] = 1.0;
    for (int d = 1; d < k; ++d) {
        for (int j = span - d; j <= span; ++j) {
            const int q = k - 1 - span + j;
            double entry = 0.0;
            if (knots[j + d] != knots[j])
                entry = (t - knots[j]) / (knots[j + d] - knots[j]) * table[d - 1][q];
            if (knots[j + d + 1] != knots[j + 1])
                entry += (knots[j + d + 1] - t) / (knots[j + d + 1] - knots[j + 1]) *
                         table[d - 1][q + 1];
            table[d][q] = entry;
        }
    }
    for (int q = 0; q < k; ++q) values[q] = table[k - 1][q];
}

bool SplinePoint(int k, int n, double t, const double* knots, const double* x, const double* y,
                 const double* weights, double& px, double& py) {
    const int s = FindSpan(k, n, t, knots);
    if (s < 0) return false;
    double basis[kMaxSplineOrder];
    SplineBasis(k, t, s, knots, basis);
    double sx = 0.0, sy = 0.0, sw = 0.0;
    for (int q = 0; q < k; ++q) {
        const int i = s - k + 1 + q;
        // Weighted basis values give a rational spline its true shape; without weights the
        // sum only evens out the basis values' arithmetic error.
        const double b = weights ? basis[q] * weights[i] : basis[q];
        sx += b * x[i];
        sy += b * y[i];
        sw += b;
    }
    const double rx = sx / sw, ry = sy / sw;
    if (!std::isfinite(rx) || !std::isfinite(ry)) return false;
    px = rx;
    py = ry;
    return true;
}
