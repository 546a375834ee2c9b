// Tests of the circle routines: storing, points and angles on arcs, picking distance, 3-point arcs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kernel/Mcalc.h"
#include "kernel/Mcircle.h"
#include "tests/support/ScriptedPrompts.h"

namespace {

CircleElement Circle(double cx, double cy, double r, double start = 0, double end = 0) {
    CircleElement c;
    EXPECT_EQ(SetCircleData(c, cx, cy, r, start, end), 1);
    return c;
}

TEST(SetCircleData, RoundsTheCentreOnlyAndStoresPlusZero) {
    CircleElement c;
    EXPECT_EQ(SetCircleData(c, 1.234564, 2, 1.234564, 10.123456, 350.000001), 1);
    EXPECT_EQ(c.cx, 1.23456);
    EXPECT_EQ(c.cy, 2.0);
    EXPECT_EQ(c.radius, 1.234564);
    EXPECT_EQ(c.startAngle, 10.123456);
    EXPECT_EQ(c.endAngle, 350.000001);
    EXPECT_EQ(SetCircleData(c, -0.000001, -0.0, 1, 0, 0), 1);
    EXPECT_FALSE(std::signbit(c.cx));
    EXPECT_FALSE(std::signbit(c.cy));
}

TEST(SetCircleData, RefusesValuesThatAreNotFiniteAndKeepsTheRecord) {
    // Without this a NaN radius or angle from a damaged file would reach the drawing.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CircleElement c = Circle(1, 2, 3, 10, 20);
    EXPECT_EQ(SetCircleData(c, nan, 0, 1, 0, 0), 0);
    EXPECT_EQ(SetCircleData(c, 0, 0, std::numeric_limits<double>::infinity(), 0, 0), 0);
    EXPECT_EQ(SetCircleData(c, 0, 0, 1, 0, nan), 0);
    EXPECT_EQ(SetCircleData(c, 1e305, 0, 1, 0, 0), 0);  // overflows when rounded
    EXPECT_EQ(c.cx, 1.0);
    EXPECT_EQ(c.radius, 3.0);
    EXPECT_EQ(c.endAngle, 20.0);
}

TEST(AngleToPnt, UsesTheTruncatedPiAndTheGivenOrder) {
    const CircleElement c = Circle(1, 2, 10);
    double x = 0, y = 0;
    EXPECT_TRUE(AngleToPnt(c, x, y, 30));
    const double a = 30 * (1.0 / 180.0) * 3.14159265358979;
    EXPECT_EQ(x, std::cos(a) * 10 + 1);
    EXPECT_EQ(y, std::sin(a) * 10 + 2);
    EXPECT_TRUE(AngleToPnt(c, x, y, 0));
    EXPECT_EQ(x, 11.0);
    EXPECT_EQ(y, 2.0);
}

TEST(AngleToPnt, ReportsAFaultAndLeavesThePointAsFarAsComputed) {
    ScriptedPrompts prompts;
    CircleElement c;  // by hand: sums that overflow
    c.radius = 1.7e308;
    c.cx = 0;
    c.cy = 1.7e308;
    double x = -1, y = -1;
    EXPECT_FALSE(AngleToPnt(c, x, y, 90));
    EXPECT_EQ(x, std::cos(DegToRad(90)) * 1.7e308);
    EXPECT_EQ(y, -1.0);
    c.cx = 1.7e308;
    x = -1;
    EXPECT_FALSE(AngleToPnt(c, x, y, 0));
    EXPECT_EQ(x, -1.0);
    EXPECT_EQ(prompts.messageTexts(), (std::vector<std::string>{"AngleToPnt", "AngleToPnt"}));
    EXPECT_EQ(prompts.shown()[0].caption, "");
}

TEST(AngleOnArc, IncludesBothEndsAndWrapsThroughZero) {
    const CircleElement wrap = Circle(0, 0, 5, 300, 60);
    for (double a : {0.0, 30.0, 60.0, 300.0, 330.0, 359.99999})
        EXPECT_EQ(AngleOnArc(wrap, a), 1) << a;
    for (double a : {90.0, 200.0, 299.99999, 60.00001}) EXPECT_EQ(AngleOnArc(wrap, a), 0) << a;
    const CircleElement plain = Circle(0, 0, 5, 30, 60);
    for (double a : {30.0, 45.0, 60.0}) EXPECT_EQ(AngleOnArc(plain, a), 1) << a;
    for (double a : {0.0, 29.9, 90.0, 359.0}) EXPECT_EQ(AngleOnArc(plain, a), 0) << a;
    const CircleElement full = Circle(0, 0, 5, 45, 45);
    for (double a : {0.0, 44.0, 270.0}) EXPECT_EQ(AngleOnArc(full, a), 1) << a;
}

TEST(PointOnArc, JudgesTheDirectionFromTheCentre) {
    const CircleElement wrap = Circle(1, 1, 5, 300, 60);
    EXPECT_EQ(PointOnArc(wrap, 9, 1), 1);   // 0 degrees
    EXPECT_EQ(PointOnArc(wrap, 2, 0), 1);   // 315
    EXPECT_EQ(PointOnArc(wrap, 2, 2), 1);   // 45, any distance
    EXPECT_EQ(PointOnArc(wrap, -3, 1), 0);  // 180
    EXPECT_EQ(PointOnArc(wrap, 1, 1), 0);   // the centre
    EXPECT_EQ(PointOnArc(Circle(1, 1, 5), 1, 1), 1);
}

TEST(PointCircleDistance, MeasuresFullCirclesRadiallyAndArcsToChordOrRim) {
    const CircleElement full = Circle(0, 0, 5);
    EXPECT_EQ(PointCircleDistance(full, 8, 0), 3.0);
    EXPECT_EQ(PointCircleDistance(full, 0, 0), 5.0);
    EXPECT_EQ(PointCircleDistance(full, 3, 0), 2.0);

    // Quarter arc from (10, 0) to (0, 10); its chord is x + y = 10.
    const CircleElement arc = Circle(0, 0, 10, 0, 90);
    EXPECT_EQ(PointCircleDistance(arc, 5, 5), 0.0);                 // on the chord: picks the arc
    EXPECT_EQ(PointCircleDistance(arc, -5, -5), std::sqrt(200.0));  // outside the sweep: chord
    double qx, qy;
    PolarPoint(qx, qy, 0, 0, DirectionAngleDeg(0, 0, 20, 20), 10);
    EXPECT_EQ(PointCircleDistance(arc, 20, 20), PointDistance(20, 20, qx, qy));
    EXPECT_NEAR(PointCircleDistance(arc, 20, 20), std::sqrt(800.0) - 10, 1e-3);
    // An arc whose ends coincide has no chord.
    EXPECT_EQ(PointCircleDistance(Circle(0, 0, 10, 0, 0.0000001), 3, 3), -1.0);
}

TEST(CircleBy3Points, FindsTheCircleOrRefusesCollinearAndOverflowingTriples) {
    CircleElement c = Circle(7, 7, 7, 10, 20);
    EXPECT_EQ(CircleBy3Points(c, 10, 0, 0, 10, -10, 0), 1);
    EXPECT_EQ(c.cx, 0.0);
    EXPECT_EQ(c.cy, 0.0);
    EXPECT_FALSE(std::signbit(c.cy));  // computed as -0 / 400
    EXPECT_EQ(c.radius, 10.0);
    EXPECT_EQ(c.startAngle, 0.0);
    EXPECT_EQ(c.endAngle, 0.0);
    // The centre is not rounded.
    EXPECT_EQ(CircleBy3Points(c, 0, 0, 1, 0, 0, 3), 1);
    EXPECT_EQ(c.cx, 0.5);
    EXPECT_EQ(c.cy, 1.5);
    EXPECT_EQ(c.radius, std::sqrt(0.5 * 0.5 + 1.5 * 1.5));

    CircleElement kept = Circle(7, 7, 7, 10, 20);
    EXPECT_EQ(CircleBy3Points(kept, 0, 0, 1, 1, 2, 2), 0);
    EXPECT_EQ(CircleBy3Points(kept, 0, 0, 0.001, 0, 0, 0.001), 0);  // twice the area 1e-6
    // Far enough out, the squares overflow; an infinite centre must not reach the drawing.
    EXPECT_EQ(CircleBy3Points(kept, 1e200, 0, 0, 1e200, -1e200, 0), 0);
    EXPECT_EQ(kept.cx, 7.0);
    EXPECT_EQ(kept.radius, 7.0);
    EXPECT_EQ(kept.startAngle, 10.0);
}

TEST(ArcBy3Points, RunsCounterClockwiseFromOneOuterPointThroughTheMiddleOne) {
    CircleElement c;
    EXPECT_EQ(ArcBy3Points(c, 10, 0, 0, 10, -10, 0), 1);
    EXPECT_EQ(c.radius, 10.0);
    EXPECT_EQ(c.startAngle, 0.0);
    EXPECT_EQ(c.endAngle, 180.0);
    CircleElement d;
    EXPECT_EQ(ArcBy3Points(d, -10, 0, 0, 10, 10, 0), 1);
    EXPECT_EQ(d.cx, 0.0);
    EXPECT_EQ(d.cy, 0.0);
    EXPECT_EQ(d.startAngle, 0.0);
    EXPECT_EQ(d.endAngle, 180.0);
    // Through the +x axis: the arc wraps through 0.
    for (double sign : {1.0, -1.0}) {
        CircleElement w;
        EXPECT_EQ(ArcBy3Points(w, 0, -10 * sign, 10, 0, 0, 10 * sign), 1);
        EXPECT_EQ(w.startAngle, 270.0);
        EXPECT_EQ(w.endAngle, 90.0);
        EXPECT_EQ(AngleOnArc(w, 0), 1);
        EXPECT_EQ(AngleOnArc(w, 180), 0);
    }
    CircleElement none = Circle(1, 1, 1);
    EXPECT_EQ(ArcBy3Points(none, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(none.radius, 1.0);
}

TEST(ThreePointArcTest, AcceptsInteriorAnglesWithinBothBoundsInclusive) {
    // A = (-10, 0), B = (0, 0), C turned by `bend` degrees from the straight continuation.
    auto cOf = [](double bend, double& x, double& y) {
        x = 10 * std::cos(DegToRad(bend));
        y = 10 * std::sin(DegToRad(bend));
    };
    double cx, cy;
    cOf(20, cx, cy);  // interior angle about 160
    const double a = AngleAtVertex(-10, 0, 0, 0, cx, cy);
    EXPECT_NEAR(a, 160.0, 0.001);
    CircleElement arc;
    EXPECT_EQ(ThreePointArcTest(arc, -10, 0, 0, 0, cx, cy, a, 170), 1);
    EXPECT_GT(arc.radius, 0.0);
    EXPECT_EQ(ThreePointArcTest(arc, -10, 0, 0, 0, cx, cy, 140, a), 1);
    EXPECT_EQ(ThreePointArcTest(arc, -10, 0, 0, 0, cx, cy, 140, 170), 1);
    double aB;  // the sweep passes through B
    PointAngleDeg(0, 0, arc.cx, arc.cy, aB);
    EXPECT_EQ(AngleOnArc(arc, aB), 1);
    EXPECT_EQ(ThreePointArcTest(arc, -10, 0, 0, 0, cx, cy, 140, std::nextafter(a, 0.0)), 0);

    cOf(9, cx, cy);  // interior angle about 171
    CircleElement untouched = Circle(3, 3, 3);
    EXPECT_EQ(ThreePointArcTest(untouched, -10, 0, 0, 0, cx, cy, 140, 170), 0);
    EXPECT_EQ(untouched.radius, 3.0);
    // Collinear points pass the angle window but give no arc.
    EXPECT_EQ(ThreePointArcTest(untouched, 0, 0, 0, 0, 0, 0, -1000, 1000), 0);
}

}  // namespace
