// Tests of the circle edit routines: concentric copies and split angles.
#include <gtest/gtest.h>

#include <cmath>

#include "kernel/Mcalc.h"
#include "kernel/Mcircle.h"

namespace {

CircleElement Circle(double cx, double cy, double r, double start = 0, double end = 0) {
    CircleElement c;
    EXPECT_EQ(SetCircleData(c, cx, cy, r, start, end), 1);
    return c;
}

TEST(OffsetCircle, GrowsTowardsAClickOutsideAndShrinksTowardsOneInsideAndRefusesTooFar) {
    const CircleElement full = Circle(1, 2, 10), upper = Circle(0, 0, 10, 0, 180);
    const CircleElement lower = Circle(0, 0, 10, 180, 0), quarter = Circle(0, 0, 10, 90, 180);
    const struct {
        const CircleElement& circle;
        double px, py, radius;
    } cases[] = {
        {full, 16, 2, 12},
        {full, 4, 2, 8},
        // Arcs by the same rule, whichever half of the circle they are.
        {upper, 0, 12, 12},
        {upper, 0, 5, 8},
        {lower, 0, -12, 12},
        {lower, 0, -5, 8},
        {Circle(0, 0, 10, 270, 90), 12, 0, 12},
        {quarter, -9, 9, 12},
        {quarter, -1, 1, 8},
    };
    CircleElement out;
    for (const auto& c : cases) {
        EXPECT_EQ(OffsetCircle(out, c.circle, c.px, c.py, 2), 1);
        EXPECT_EQ(out.radius, c.radius);
        EXPECT_EQ(out.cx, c.circle.cx);
        EXPECT_EQ(out.cy, c.circle.cy);
        EXPECT_EQ(out.startAngle, c.circle.startAngle);
        EXPECT_EQ(out.endAngle, c.circle.endAngle);
    }
    for (const double px : {1.0, 20.0, std::nan("")}) {
        out.radius = 3;
        EXPECT_EQ(OffsetCircle(out, Circle(0, 0, 5, 30, 60), px, 0, px == px ? 10 : px), 0);
        EXPECT_EQ(out.radius, 0.0);
    }
}

TEST(ArcSplitAngle, GivesTheDirectionOfTheClickAndRefusesEndsCentreAndOffArcPoints) {
    const double up = 1.5708 * kInvPi * 180.0;  // the direction rounded in radians first
    double a = -1;
    const CircleElement full = Circle(1, 1, 10);
    EXPECT_EQ(ArcSplitAngle(full, 1, 11, a), 1);
    EXPECT_EQ(a, up);
    EXPECT_EQ(ArcSplitAngle(full, 11, 1, a), 0);
    EXPECT_EQ(ArcSplitAngle(full, 1, 1, a), 0);

    // A split at an end would leave a piece with equal angles, i.e. a whole circle.
    const CircleElement arc = Circle(0, 0, 10, 0.7854 * kInvPi * 180.0, up);
    EXPECT_EQ(ArcSplitAngle(arc, 10, 10, a), 0);
    EXPECT_EQ(ArcSplitAngle(arc, 0, 10, a), 0);
    EXPECT_EQ(ArcSplitAngle(arc, 10, 5, a), 0);
    EXPECT_EQ(ArcSplitAngle(arc, 5, 10, a), 1);
    EXPECT_EQ(a, DirectionAngleDeg(0, 0, 5, 10));
}

}  // namespace
