// Tests of the line routines: storing, picking distance, crossing and angle of two lines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kernel/Mcalc.h"
#include "kernel/Mline.h"
#include "tests/support/ScriptedPrompts.h"

namespace {

LineElement Line(double x1, double y1, double x2, double y2) {
    LineElement l;
    EXPECT_EQ(SetLineEnds(l, x1, y1, x2, y2), 1);
    return l;
}

void ExpectEnds(const LineElement& l, double x1, double y1, double x2, double y2) {
    EXPECT_EQ(l.x1, x1);
    EXPECT_EQ(l.y1, y1);
    EXPECT_EQ(l.x2, x2);
    EXPECT_EQ(l.y2, y2);
}

TEST(SetLineEnds, StoresRoundedEndsFromLeftToRightAndUpwards) {
    LineElement l;
    EXPECT_EQ(SetLineEnds(l, 5, 0, 1, 0), 1);
    ExpectEnds(l, 1, 0, 5, 0);
    EXPECT_EQ(SetLineEnds(l, 2, 3, 2, 1), 1);
    ExpectEnds(l, 2, 1, 2, 3);
    EXPECT_EQ(SetLineEnds(l, 0.123456, 7, -0.123454, 7), 1);
    ExpectEnds(l, -0.12345, 7, 0.12346, 7);
    // Ends that only become equal in x after rounding are ordered by y.
    EXPECT_EQ(SetLineEnds(l, 4.000001, 9, 3.999999, 1), 1);
    ExpectEnds(l, 4, 1, 4, 9);
    // A coordinate that rounds to zero is stored as +0.
    EXPECT_EQ(SetLineEnds(l, -0.000001, 0, 5, -0.000002), 1);
    EXPECT_FALSE(std::signbit(l.x1));
    EXPECT_FALSE(std::signbit(l.y2));
}

TEST(SetLineEnds, RefusesCoincidingPointsButLeavesThemStoredUnordered) {
    LineElement l;
    EXPECT_EQ(SetLineEnds(l, 0.0015, 0, 0.0005, 0), 0);
    ExpectEnds(l, 0.0015, 0, 0.0005, 0);
    // The test is on the unrounded squared distance, at most 1e-5 (about 0.00316 apart).
    EXPECT_EQ(SetLineEnds(l, 0, 0, 0.0031, 0), 0);
    EXPECT_EQ(SetLineEnds(l, 0, 0, 0.0032, 0), 1);
    EXPECT_EQ(SetLineEnds(l, 1, 1, 1.000004, 1.000004), 0);
}

TEST(SetLineEnds, RefusesCoordinatesThatAreNotFiniteAndKeepsTheRecord) {
    // Storing such a line would put a NaN or an infinity into the drawing, where every later
    // intersection and the file writers would carry it on.
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    LineElement l = Line(1, 2, 3, 4);
    EXPECT_EQ(SetLineEnds(l, nan, 0, 5, 0), 0);
    EXPECT_EQ(SetLineEnds(l, 0, 0, inf, 0), 0);
    EXPECT_EQ(SetLineEnds(l, 0, 0, 1e305, 0), 0);  // overflows when rounded
    ExpectEnds(l, 1, 2, 3, 4);
}

TEST(PointSegmentDistance, MeasuresToTheNearerEndOutsideAndToTheLineInside) {
    const LineElement l = Line(0, 0, 10, 0);
    EXPECT_EQ(PointSegmentDistance(l, 15, 3), std::sqrt(34.0));
    EXPECT_EQ(PointSegmentDistance(l, 5, 3), 3.0);
    EXPECT_EQ(PointSegmentDistance(l, 5, -3), 3.0);
    EXPECT_EQ(PointSegmentDistance(l, -3, -4), 5.0);
    EXPECT_EQ(PointSegmentDistance(Line(0, 0, 10, 10), 0, 10), std::sqrt(100.0 * 100.0 / 200.0));
    EXPECT_EQ(PointSegmentDistance(Line(2, 0, 2, 8), 5, 4), 3.0);

    LineElement degenerate;
    degenerate.x1 = degenerate.x2 = 1;
    degenerate.y1 = degenerate.y2 = 1;
    EXPECT_EQ(PointSegmentDistance(degenerate, 5, 5), -1.0);
}

TEST(Crossline, ClassifiesCrossingsOnEndPointsSegmentsAndExtensions) {
    const LineElement base = Line(0, 0, 10, 0);
    double x = -1, y = -1;
    EXPECT_EQ(crossline(base, Line(5, -5, 5, 5), x, y), 1);
    EXPECT_EQ(x, 5.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_EQ(crossline(base, Line(20, -5, 20, 5), x, y), 0);
    EXPECT_EQ(x, 20.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_EQ(crossline(base, Line(10, 0, 10, 5), x, y), -2);
    EXPECT_EQ(x, 10.0);
    EXPECT_EQ(crossline(Line(3, 0, 3, 9), base, x, y), -2);  // an end of the first line
    EXPECT_EQ(crossline(base, Line(5, 1, 5, 9), x, y), 0);   // beyond the second segment
    EXPECT_EQ(x, 5.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_EQ(crossline(Line(0, 0, 3, 1), Line(0, 1, 3, 0), x, y), 1);
    EXPECT_EQ(x, 1.5);
    EXPECT_EQ(y, 0.5);
}

TEST(Crossline, RoundsTheOutputButClassifiesTheUnroundedCrossing) {
    double x = 0, y = 0;
    // The vertical line gives x exactly; y = 1/3 is rounded on output.
    EXPECT_EQ(crossline(Line(0, 0, 3, 1), Line(1, -5, 1, 5), x, y), 1);
    EXPECT_EQ(x, 1.0);
    EXPECT_EQ(y, 0.33333);
    // The rounded crossing equals the end (1, 0.33333), the exact one lies just inside: 1, not -2.
    EXPECT_EQ(crossline(Line(0, 0, 3, 1), Line(1, 0.33333, 1, 5), x, y), 1);
    EXPECT_EQ(y, 0.33333);
    // Just below that end the exact crossing misses the segment.
    EXPECT_EQ(crossline(Line(0, 0, 3, 1), Line(1, 0.33334, 1, 5), x, y), 0);
}

TEST(Crossline, GivesMinusOneForParallelCoincidentAndNearlyParallelLinesAndKeepsThePoint) {
    double x = 42, y = 43;
    EXPECT_EQ(crossline(Line(0, 0, 10, 0), Line(0, 5, 10, 5), x, y), -1);
    EXPECT_EQ(crossline(Line(0, 0, 10, 10), Line(2, 2, 4, 4), x, y), -1);
    // Not parallel, but the determinant is within 1e-5.
    EXPECT_EQ(crossline(Line(0, 0, 0.5, 0), Line(0, 1, 10, 1.00001), x, y), -1);
    EXPECT_EQ(x, 42.0);
    EXPECT_EQ(y, 43.0);
}

TEST(Crossline, ReportsAFaultInTheDivisionAndGivesNoPoint) {
    ScriptedPrompts prompts;
    LineElement huge;  // built by hand: coordinates whose products overflow
    huge.x1 = huge.y1 = -1e300;
    huge.x2 = huge.y2 = 1e300;
    double x = 42, y = 43;
    EXPECT_EQ(crossline(huge, Line(0, 1, 1, 0), x, y), -1);
    EXPECT_EQ(x, 42.0);
    EXPECT_EQ(y, 43.0);
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].text, "L-L交点計算中エラー");
    EXPECT_EQ(prompts.shown()[0].caption, "");
}

TEST(LineAngle, DependsOnTheStoredDirectionsOfBothLines) {
    const LineElement base = Line(0, 0, 10, 0);
    EXPECT_EQ(LineAngle(base, Line(5, -5, 5, 5)), 1.5708 * 0.318309886183791 * 180.0);
    // Lines at 75 and -75 degrees cross at 30 but are stored pointing right: 150 apart.
    const double c = std::cos(DegToRad(75)), s = std::sin(DegToRad(75));
    const LineElement up = Line(0, 0, 10 * c, 10 * s), down = Line(0, 0, 10 * c, -10 * s);
    EXPECT_EQ(LineAngle(up, down), AngleBetweenVectors(up.x2 - up.x1, up.y2 - up.y1,
                                                       down.x2 - down.x1, down.y2 - down.y1));
    EXPECT_NEAR(LineAngle(up, down), 150.0, 0.001);
    EXPECT_EQ(LineAngle(base, Line(3, 3, 20, 3)), 0.0);
}

}  // namespace
