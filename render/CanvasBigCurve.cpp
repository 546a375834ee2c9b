// Ellipses and arcs far larger than the viewport: clipped to it before anything is drawn.
#include <QPainter>
#include <QPointF>
#include <algorithm>
#include <cmath>
#include <vector>

#include "render/Canvas.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Angles in [0, 2 pi).
double Wrap(double a) {
    a = std::fmod(a, kTwoPi);
    if (a < 0) a += kTwoPi;
    return a;
}

struct Oval {
    double cx, cy, rx, ry;
    // Screen y grows downwards, angles count counter-clockwise on screen.
    QPointF At(double t) const { return {cx + rx * std::cos(t), cy - ry * std::sin(t)}; }
};

struct Box {
    double left, top, right, bottom;
    bool Holds(const QPointF& p) const {
        return p.x() >= left && p.x() <= right && p.y() >= top && p.y() <= bottom;
    }
};

// Half the width of the ellipse at a height d from its centre, without the cancellation of
// 1 - (d / r)^2 near the top and bottom of a huge figure.
double HalfChord(double d, double r, double other) {
    d = std::fabs(d);
    if (d > r) return -1.0;
    return std::sqrt((r - d) * (r + d)) * (other / r);
}

// The angles at which the rim crosses the edges of the box, sorted.
std::vector<double> Crossings(const Oval& e, const Box& b) {
    std::vector<double> out;
    for (double x : {b.left, b.right}) {
        double h = HalfChord(x - e.cx, e.rx, e.ry);
        if (h < 0) continue;
        double u = (x - e.cx) / e.rx;
        for (double y : {h, -h}) {
            // Points of a vertical edge outside the box's height do not bound a visible run.
            if (e.cy - y < b.top || e.cy - y > b.bottom) continue;
            out.push_back(Wrap(std::atan2(y / e.ry, u)));
        }
    }
    for (double y : {b.top, b.bottom}) {
        double h = HalfChord(y - e.cy, e.ry, e.rx);
        if (h < 0) continue;
        double v = (e.cy - y) / e.ry;
        for (double x : {h, -h}) {
            if (e.cx + x < b.left || e.cx + x > b.right) continue;
            out.push_back(Wrap(std::atan2(v, x / e.rx)));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The runs [from, to] of the rim (angles, to > from) that lie inside the box.
std::vector<std::pair<double, double>> VisibleRuns(const Oval& e, const Box& b) {
    std::vector<std::pair<double, double>> runs;
    std::vector<double> cut = Crossings(e, b);
    if (cut.empty()) {
        if (b.Holds(e.At(0.0))) runs.emplace_back(0.0, kTwoPi);
        return runs;
    }
    for (size_t i = 0; i < cut.size(); ++i) {
        double from = cut[i];
        double to = i + 1 < cut.size() ? cut[i + 1] : cut[0] + kTwoPi;
        if (to - from <= 0.0) continue;
        if (b.Holds(e.At(0.5 * (from + to)))) runs.emplace_back(from, to);
    }
    return runs;
}

// The part of run [a0, a1] within the arc [s, s + span], as up to two runs.
void IntersectArc(double a0, double a1, double s, double span,
                  std::vector<std::pair<double, double>>& out) {
    for (double shift : {-kTwoPi, 0.0, kTwoPi}) {
        double lo = std::max(a0, s + shift), hi = std::min(a1, s + shift + span);
        if (hi > lo) out.emplace_back(lo, hi);
    }
}

}  // namespace

void Canvas::FillSpan(int y, int x0, int x1, uint32_t rgb) {
    int py = y - scrollY_;
    if (py < 0 || py >= image_.height()) return;
    x0 = std::max(x0 - scrollX_, 0);
    x1 = std::min(x1 - scrollX_, image_.width() - 1);
    if (x1 < x0) return;
    QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(py));
    for (int x = x0; x <= x1; ++x)
        row[x] = penMode_ == PenMode::Xor ? 0xFF000000u | ((row[x] ^ rgb) & 0xFFFFFFu)
                                          : 0xFF000000u | rgb;
}

void Canvas::BigEllipse(double left, double top, double right, double bottom) {
    BigCurve(left, top, right, bottom, true, 0.0, kTwoPi);
}

void Canvas::BigArc(double left, double top, double right, double bottom, double x3, double y3,
                    double x4, double y4) {
    const double cx = 0.5 * (std::min(left, right) + std::max(left, right) - 1.0);
    const double cy = 0.5 * (std::min(top, bottom) + std::max(top, bottom) - 1.0);
    const double a3 = std::atan2(-(y3 - cy), x3 - cx), a4 = std::atan2(-(y4 - cy), x4 - cx);
    double span = a4 - a3;
    while (span <= 0.0) span += kTwoPi;
    while (span > kTwoPi) span -= kTwoPi;
    BigCurve(left, top, right, bottom, false, a3, span);
}

void Canvas::BigCurve(double left, double top, double right, double bottom, bool full,
                      double startAngle, double span) {
    if (image_.isNull()) return;
    if (!(std::isfinite(left) && std::isfinite(top) && std::isfinite(right) &&
          std::isfinite(bottom)))
        return;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    // The same figure as Ellipse's box: right and bottom exclusive.
    Oval e{0.5 * (left + right - 1.0), 0.5 * (top + bottom - 1.0),
              std::max(0.5 * (right - left - 1.0), 0.0), std::max(0.5 * (bottom - top - 1.0), 0.0)};
    const double pad = penWidth_ + 2.0;
    const Box view{scrollX_ - pad, scrollY_ - pad, scrollX_ + image_.width() - 1 + pad,
                   scrollY_ + image_.height() - 1 + pad};
    if (e.rx < 1.0 || e.ry < 1.0) return;
    // Quick rejection: the box misses the viewport.
    if (right + pad < view.left || left - pad > view.right || bottom + pad < view.top ||
        top - pad > view.bottom)
        return;

    EndPainter();
    if (full && brushStyle_ == BrushStyle::Solid) {
        // The inside, row by row: each row's run is exact however large the figure.
        for (int y = scrollY_; y < scrollY_ + image_.height(); ++y) {
            double h = HalfChord(y - e.cy, e.ry, e.rx);
            if (h < 0) continue;
            double x0 = std::ceil(e.cx - h), x1 = std::floor(e.cx + h);
            x0 = std::max(x0, double(scrollX_));
            x1 = std::min(x1, double(scrollX_ + image_.width() - 1));
            if (x1 >= x0) FillSpan(y, int(x0), int(x1), brushRgb_);
        }
    }

    std::vector<std::pair<double, double>> runs;
    for (const auto& run : VisibleRuns(e, view)) {
        if (full) runs.push_back(run);
        else IntersectArc(run.first, run.second, Wrap(startAngle), span, runs);
    }
    if (runs.empty()) return;
    // Chords short enough that the rim never strays more than a twentieth of a pixel from
    // the true curve.
    const double r = std::max(e.rx, e.ry);
    const double step = std::min(std::sqrt(8.0 * 0.05 / r), kTwoPi / 16);
    std::vector<QPointF> points;
    for (const auto& [from, to] : runs) {
        int n = std::max(1, int(std::ceil((to - from) / step)));
        points.clear();
        for (int i = 0; i <= n; ++i) points.push_back(e.At(i == n ? to : from + (to - from) * i / n));
        if (penWidth_ <= 1) {
            // The thin line leaves out each chord's last pixel, so shared ends are plotted
            // once and XOR drawing twice still restores every pixel.
            for (size_t i = 0; i + 1 < points.size(); ++i)
                ThinLine(int(std::lround(points[i].x())), int(std::lround(points[i].y())),
                         int(std::lround(points[i + 1].x())), int(std::lround(points[i + 1].y())));
            if (!full || runs.size() > 1 || to - from < kTwoPi)
                PlotSpan(int(std::lround(points.back().x())), int(std::lround(points.back().y())));
        } else {
            QPainter& p = Painter();
            p.setPen(QPen(QColor::fromRgb(QRgb(0xFF000000u | penRgb_)), penWidth_, Qt::SolidLine,
                          Qt::RoundCap, Qt::RoundJoin));
            p.drawPolyline(points.data(), int(points.size()));
        }
    }
}
