// Splines: the basis values, points on the curve, and the chain of lines and arcs fitted to them.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "files/Spline.h"
#include "model/DrawingStore.h"
#include "tests/files/StoreDump.h"

namespace {

SplineData Spline(int order, std::vector<double> knots, std::vector<double> x,
                  std::vector<double> y, std::vector<double> weights = {}) {
    SplineData d;
    d.order = order;
    d.declared = int32_t(x.size());
    d.knots = std::move(knots);
    d.x = std::move(x);
    d.y = std::move(y);
    d.weights = std::move(weights);
    return d;
}

std::vector<double> Basis(int k, double t, int span, const std::vector<double>& knots) {
    std::vector<double> v(std::size_t(k), -1.0);
    SplineBasis(k, t, span, knots.data(), v.data());
    return v;
}

int Count(const DrawingStore& s, bool lines) {
    int n = 0;
    if (lines)
        for (int32_t i = 0; i <= s.lineTop; ++i) n += s.line(i).alive;
    else
        for (int32_t i = 0; i <= s.circleTop; ++i) n += s.circle(i).alive;
    return n;
}

TEST(Spline, BasisValuesFollowCoxDeBoorAlsoOverRepeatedKnots) {
    const std::vector<double> clamped = {0, 0, 0, 0, 1, 1, 1, 1};
    EXPECT_EQ(Basis(4, 0.5, 3, clamped), (std::vector<double>{0.125, 0.375, 0.375, 0.125}));
    EXPECT_EQ(Basis(4, 0.0, 3, clamped), (std::vector<double>{1, 0, 0, 0}));
    // A double interior knot of a quadratic: the curve passes through control point 2.
    EXPECT_EQ(Basis(3, 1.0, 4, {0, 0, 0, 1, 1, 2, 2, 2}), (std::vector<double>{1, 0, 0}));
    // Uneven knots, to the last digit of the designed order of operations.
    const std::vector<double> uneven = {0, 0, 0, 1, 3, 4, 4, 4};
    EXPECT_EQ(Basis(3, 2.0, 3, uneven), (std::vector<double>{1.0 / 6, 2.0 / 3, 1.0 / 6}));
    EXPECT_EQ(Basis(3, 0.3, 2, uneven),
              (std::vector<double>{0.48999999999999994, 0.48, 0.029999999999999995}));
    // Order 1 and the largest order.
    EXPECT_EQ(Basis(1, 0.5, 0, {0, 1}), std::vector<double>{1});
    std::vector<double> wide(20, 0.0);
    for (int i = 10; i < 20; ++i) wide[std::size_t(i)] = 1.0;
    std::vector<double> ten = Basis(10, 0.5, 9, wide);
    double sum = 0;
    for (double v : ten) sum += v;
    EXPECT_NEAR(sum, 1.0, 1e-15);
    EXPECT_EQ(ten[0], 1.0 / 512);
}

TEST(Spline, PointsAreTakenOnlyWithinTheKnotRangeAndItsEndIsTheLastControlPoint) {
    const double knots[] = {0, 0, 0, 0, 1, 1, 1, 1};
    const double x[] = {0, 10, 40, 50}, y[] = {0, 30, 30, 0};
    double px = -1, py = -1;
    ASSERT_TRUE(SplinePoint(4, 4, 0.05, knots, x, y, nullptr, px, py));
    EXPECT_EQ(px, 1.645);
    EXPECT_EQ(py, 4.275);
    ASSERT_TRUE(SplinePoint(4, 4, 1.0, knots, x, y, nullptr, px, py));
    EXPECT_EQ(px, 50.0);
    EXPECT_EQ(py, 0.0);
    EXPECT_FALSE(SplinePoint(4, 4, 1.0000000000000002, knots, x, y, nullptr, px, py));
    EXPECT_FALSE(SplinePoint(4, 4, -1e-300, knots, x, y, nullptr, px, py));
    EXPECT_FALSE(SplinePoint(4, 4, NAN, knots, x, y, nullptr, px, py));
    EXPECT_EQ(px, 50.0);  // untouched when refused

    // An unclamped uniform cubic ends at (P1 + 4 P2 + P3) / 6, not at a control point.
    const double uniform[] = {0, 1, 2, 3, 4, 5, 6, 7};
    ASSERT_TRUE(SplinePoint(4, 4, 4.0, uniform, x, y, nullptr, px, py));
    EXPECT_DOUBLE_EQ(px, (10 + 4 * 40 + 50) / 6.0);
    EXPECT_DOUBLE_EQ(py, (30 + 4 * 30 + 0) / 6.0);
}

TEST(Spline, AClampedCubicIsSampledEveryTwentiethOfItsRangeAndEndsAtItsEndPoint) {
    // Order 4, four control points, knots 0,0,0,0,1,1,1,1, resolution 5: the samples lie at
    // t = 0, 0.05, ..., 0.95 (twenty of them, by repeated addition of 0.05), ten triples,
    // and a last line from the sample at 0.95 to the end point. The first triple starts at
    // the first control point, which the first sample repeats: an angle of 0, two lines, the
    // first of no length and refused.
    DrawingStore s;
    ASSERT_EQ(AppendSplineChain(
                  s, {}, Spline(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 10, 40, 50}, {0, 30, 30, 0})),
              SplineResult::Converted);
    EXPECT_EQ(Dump(s),
              "L 0 0 1.645 4.275\nL 1.645 4.275 3.56 8.1\nL 3.56 8.1 5.715 11.475\n"
              "L 5.715 11.475 8.08 14.4\nL 8.08 14.4 10.625 16.875\nL 10.625 16.875 13.32 18.9\n"
              "L 13.32 18.9 16.135 20.475\nL 16.135 20.475 19.04 21.6\n"
              "L 19.04 21.6 22.005 22.275\nL 22.005 22.275 25 22.5\nL 25 22.5 27.995 22.275\n"
              "L 27.995 22.275 30.96 21.6\nL 30.96 21.6 33.865 20.475\n"
              "L 33.865 20.475 36.68 18.9\nL 36.68 18.9 39.375 16.875\n"
              "L 39.375 16.875 41.92 14.4\nL 41.92 14.4 44.285 11.475\n"
              "L 44.285 11.475 46.44 8.1\nL 46.44 8.1 48.355 4.275\nL 48.355 4.275 50 0\n");
    // A sharper bend: triples between the two angles become arcs through their points.
    DrawingStore hump;
    ASSERT_EQ(AppendSplineChain(
                  hump, {}, Spline(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 40, 40}, {0, 40, 40, 0})),
              SplineResult::Converted);
    EXPECT_EQ(Dump(hump),
              "L 0 0 0.29 5.7\nL 0.29 5.7 1.12 10.8\nL 1.12 10.8 2.43 15.3\nL 2.43 15.3 4.16 19.2\n"
              "L 4.16 19.2 6.25 22.5\nL 6.25 22.5 8.64 25.2\nL 8.64 25.2 11.27 27.3\n"
              "L 28.73 27.3 31.36 25.2\nL 31.36 25.2 33.75 22.5\nL 33.75 22.5 35.84 19.2\n"
              "L 35.84 19.2 37.57 15.3\nL 37.57 15.3 38.88 10.8\nL 38.88 10.8 39.71 5.7\n"
              "L 39.71 5.7 40 0\n"
              "C 20.30289 13.76041 16.276167000601454 101.6723 123.70911\n"
              "C 20 14.94983 15.050166666666348 78.54087 101.45913\n"
              "C 19.69711 13.76041 16.276167000601284 56.29089 78.3277\n");
}

TEST(Spline, StraightControlPointsGiveLinesOnlyAndResolutionTwentyFourTimesThePieces) {
    const SplineData straight =
        Spline(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 10, 20, 30}, {0, 10, 20, 30});
    DrawingStore five, twenty;
    DxfReadSettings fine;
    fine.splineResolution = 20;
    ASSERT_EQ(AppendSplineChain(five, {}, straight), SplineResult::Converted);
    ASSERT_EQ(AppendSplineChain(twenty, fine, straight), SplineResult::Converted);
    EXPECT_EQ(Count(five, false), 0);
    EXPECT_EQ(Count(twenty, false), 0);
    EXPECT_EQ(Count(five, true), 20);
    EXPECT_EQ(Count(twenty, true), 80);
    // The last piece ends at the end point.
    EXPECT_EQ(twenty.line(twenty.lineTop - 1).x2, 30.0);
    EXPECT_EQ(twenty.line(twenty.lineTop - 1).y2, 30.0);
}

TEST(Spline, ARationalQuarterCircleLiesOnTheUnitCircle) {
    // Weights used to be ignored, which drew a parabola through (0.75, 0.75).
    const double h = std::sqrt(2.0) / 2;
    const SplineData quarter = Spline(3, {0, 0, 0, 1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {1, h, 1});
    for (int i = 0; i <= 100; ++i) {
        double px, py;
        ASSERT_TRUE(SplinePoint(3, 3, i / 100.0, quarter.knots.data(), quarter.x.data(),
                                quarter.y.data(), quarter.weights.data(), px, py));
        EXPECT_NEAR(std::hypot(px, py), 1.0, 4e-16) << i;
    }
    // Coarse sampling bends by 30 degrees a piece: arcs about the centre, radius 1.
    DrawingStore s;
    DxfReadSettings coarse;
    coarse.splineResolution = 1;
    ASSERT_EQ(AppendSplineChain(s, coarse, quarter), SplineResult::Converted);
    ASSERT_GE(Count(s, false), 1);
    for (int32_t i = 0; i <= s.circleTop; ++i) {
        const CircleElement& c = s.circle(i);
        if (!c.alive) continue;
        EXPECT_EQ(c.cx, 0.0);
        EXPECT_EQ(c.cy, 0.0);
        EXPECT_NEAR(c.radius, 1.0, 1e-12);
    }
    // Fine sampling is too straight for arcs: every line end lies on the circle, to the
    // store's five decimals, and the chain ends at (0, 1).
    DrawingStore fine;
    ASSERT_EQ(AppendSplineChain(fine, {}, quarter), SplineResult::Converted);
    EXPECT_EQ(Count(fine, false), 0);
    for (int32_t i = 0; i <= fine.lineTop; ++i) {
        const LineElement& l = fine.line(i);
        if (!l.alive) continue;
        EXPECT_NEAR(std::hypot(l.x1, l.y1), 1.0, 1e-5);
        EXPECT_NEAR(std::hypot(l.x2, l.y2), 1.0, 1e-5);
    }
    const LineElement& last = fine.line(fine.lineTop - 1);
    EXPECT_EQ(last.x1, 0.0);
    EXPECT_EQ(last.y1, 1.0);  // stored left to right: the end point is its first end
}

TEST(Spline, ChainsThatCannotBeEvaluatedAddNothing) {
    DrawingStore s;
    SplineData d = Spline(4, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 10, 40, 50}, {0, 30, 30, 0});
    d.declared = 5;  // more than were read
    EXPECT_EQ(AppendSplineChain(s, {}, d), SplineResult::Unreadable);
    d.declared = -1;  // not given: the points read count
    DxfReadSettings odd;
    odd.splineResolution = -3;  // no resolution below 1: the step would run backwards
    EXPECT_EQ(AppendSplineChain(s, odd, d), SplineResult::Converted);
    // Samples at t = 0, 0.25, 0.5, 0.75 and the end: a first line, two lines for a bend
    // sharper than 140 degrees, and the last line to the end point.
    EXPECT_EQ(Count(s, true), 4);
    EXPECT_EQ(s.line(3).x2, 50.0);
    // Huge parameter values with a range too small for the step to move them.
    DrawingStore t;
    const double big = 1e15;
    SplineData crawl = Spline(2, {big, big, big + 0.125, big + 0.125}, {0, 10}, {0, 0});
    DxfReadSettings finest;
    finest.splineResolution = 20;
    EXPECT_EQ(AppendSplineChain(t, finest, crawl), SplineResult::Converted);
    EXPECT_EQ(t.line(t.lineTop - 1).x2, 10.0);
}

}  // namespace
