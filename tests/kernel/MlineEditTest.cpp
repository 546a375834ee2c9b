// Tests of the line edit routines: trimming to a corner, filleting, offsetting, perpendicular feet.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "kernel/Mcalc.h"
#include "kernel/Mline.h"
#include "tests/support/ScriptedPrompts.h"

namespace {

using Ends = std::array<double, 4>;

LineElement Line(double x1, double y1, double x2, double y2) {
    LineElement l;
    EXPECT_EQ(SetLineEnds(l, x1, y1, x2, y2), 1);
    return l;
}

Ends EndsOf(const LineElement& l) { return {l.x1, l.y1, l.x2, l.y2}; }

TEST(TrimToCorner, KeepsTheClickedPartsExtendsShortLinesAndSkipsParallelOnes) {
    LineElement a = Line(0, 0, 10, 0), b = Line(5, -5, 5, 5);
    EXPECT_EQ(TrimToCorner(a, b, 12, 1, 4, -3), 1);
    EXPECT_EQ(EndsOf(a), (Ends{5, 0, 10, 0}));
    EXPECT_EQ(EndsOf(b), (Ends{5, -5, 5, 0}));
    a = Line(8, 0, 12, 0), b = Line(6, -5, 6, -1);
    EXPECT_EQ(TrimToCorner(a, b, 9, 0, 6, -2), 1);
    EXPECT_EQ(EndsOf(a), (Ends{6, 0, 12, 0}));
    EXPECT_EQ(EndsOf(b), (Ends{6, -5, 6, 0}));
    // An end within the tolerance of the corner stays where it is.
    a = Line(0, 0, 5, 0), b = Line(5.001, 1, 5.001, 5);
    EXPECT_EQ(TrimToCorner(a, b, 1, 0, 5.001, 3), 1);
    EXPECT_EQ(EndsOf(a), (Ends{0, 0, 5, 0}));
    EXPECT_EQ(EndsOf(b), (Ends{5.001, 0, 5.001, 5}));
    b = Line(0, 5, 5, 5);
    EXPECT_EQ(TrimToCorner(a, b, 1, 0, 1, 5), 0);
    EXPECT_EQ(EndsOf(b), (Ends{0, 5, 5, 5}));
}

TEST(FilletLines, RoundsARightCornerWithATangentArcOnTheSideOfTheRadius) {
    const double sweep = 180.0 - std::acos(0.0) * 180.0 * kInvPi;  // 90 by the truncated pi
    const double up = kPi / 2, c = std::cos(up), s = std::sin(up);
    const double k = 50 + 50 * s - 10 - 50;  // the tangent point in the vertical line's frame
    for (const double r : {10.0, -10.0}) {
        // b's far end on the left of a: the arc starts on a, b is taken downwards.
        LineElement a = Line(0, 0, 100, 0), b = Line(50, -50, 50, 50);
        CircleElement arc;
        arc.radius = r;
        EXPECT_EQ(FilletLines(arc, a, b, 20, 0, 50, 30), 1);
        EXPECT_EQ(EndsOf(a), (Ends{0, 0, 40, 0}));
        EXPECT_EQ(EndsOf(b), (Ends{50, 50, 50 + k * std::cos(3 * up), 50 + k * std::sin(3 * up)}));
        EXPECT_EQ(arc.cx, 40.0);
        EXPECT_EQ(arc.cy, r);
        EXPECT_EQ(arc.startAngle, r > 0 ? 270.0 : 90.0);
        EXPECT_EQ(arc.endAngle, sweep + arc.startAngle);
    }
    // b's far end on the right of a: the arc starts on b.
    LineElement a = Line(0, 0, 100, 0), b = Line(50, -50, 50, 50);
    CircleElement arc;
    arc.radius = 10;
    EXPECT_EQ(FilletLines(arc, a, b, 20, 0, 50, -30), 1);
    EXPECT_EQ(EndsOf(a), (Ends{0, 0, 40, 0}));
    EXPECT_EQ(EndsOf(b), (Ends{50, -50, 50 + k * c, -50 + k * s}));
    EXPECT_EQ(arc.cx, 50 + k * c - 10 * s);
    EXPECT_EQ(arc.cy, -50 + k * s + 10 * c);
    EXPECT_EQ(arc.startAngle, 0.0);
    EXPECT_EQ(arc.endAngle, sweep);
}

TEST(FilletLines, RestoresLinesAndArcWhenNoArcCanBeComputed) {
    ScriptedPrompts prompts;
    const LineElement cases[][2] = {
        {Line(0, 0, 100, 0), Line(50, -50, 50, 50)},  // with a radius whose square overflows
        // Nearly the same direction: crossline finds the corner, but the cosine comes out 1.
        {Line(-10, 0, 1e6, 0), Line(0, 0, 1e6, 0.00001)},
        // Straight on: the sweep is a hair below zero, i.e. almost a whole circle.
        {Line(0, 0, 1e6, 0), Line(1e6, 0, 2e6, 0.00001)},
    };
    for (const auto& lines : cases) {
        prompts.clear();
        LineElement a = lines[0], b = lines[1];
        CircleElement arc;
        arc.cx = 7;
        arc.radius = &lines == &cases[0] ? 1e308 : 10;
        EXPECT_EQ(FilletLines(arc, a, b, 100, 0, 1e6, 1e-5), 0);
        EXPECT_EQ(EndsOf(a), EndsOf(lines[0]));
        EXPECT_EQ(EndsOf(b), EndsOf(lines[1]));
        EXPECT_EQ((Ends{arc.cx, arc.cy, arc.startAngle, arc.endAngle}), (Ends{7, 0, 0, 0}));
        EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"FilletLines"});
    }
}

TEST(OffsetLine, CopiesToTheClickedSideOrTheLeftAndWritesNothingOnFailure) {
    LineElement out, degenerate;
    EXPECT_EQ(OffsetLine(out, Line(0, 0, 10, 0), 5, 0, std::nan("")), 0);
    EXPECT_EQ(OffsetLine(out, degenerate, 0, 5, 2), 0);
    EXPECT_EQ(EndsOf(out), (Ends{0, 0, 0, 0}));
    for (const double py : {1.0, 0.0, -1.0}) {
        ASSERT_EQ(OffsetLine(out, Line(0, 0, 10, 0), 5, py, 5), 1);
        EXPECT_EQ(EndsOf(out), (Ends{0, py < 0 ? -5.0 : 5.0, 10, py < 0 ? -5.0 : 5.0}));
    }
    // Stored upwards, so its left is -x; the store's rounding removes the rotation's dust.
    for (const double px : {-1.0, 0.0, 1.0}) {
        ASSERT_EQ(OffsetLine(out, Line(0, 0, 0, 10), px, 5, 2), 1);
        EXPECT_EQ(SetLineEnds(out, out.x1, out.y1, out.x2, out.y2), 1);
        EXPECT_EQ(EndsOf(out), (Ends{px > 0 ? 2.0 : -2.0, 0, px > 0 ? 2.0 : -2.0, 10}));
    }
}

TEST(LineFoot, FindsTheFootAndTellsWhetherItLiesWithinTheSpan) {
    const LineElement base = Line(0, 0, 10, 0), vertical = Line(2, 0, 2, 10);
    double fx = 42, fy = 42;
    EXPECT_EQ(LineFoot(base, std::nan(""), 1, fx, fy), 0);
    EXPECT_EQ(fx, 42.0);
    EXPECT_EQ(LineFoot(base, 4, 3, fx, fy), 1);
    EXPECT_EQ(fx, 4.0);
    EXPECT_EQ(fy, 0.0);
    EXPECT_EQ(LineFoot(base, 12, 0, fx, fy), 0);
    EXPECT_EQ(fx, 12.0);
    // A vertical line is judged by y.
    const double c = std::cos(kPi / 2), s = std::sin(kPi / 2);
    const double along = 2 + 3 * c + 4 * s - 2;  // P = (5, 4) laid along the x axis from (2, 0)
    EXPECT_EQ(LineFoot(vertical, 5, 4, fx, fy), 1);
    EXPECT_EQ(fx, 2 + along * c);
    EXPECT_EQ(fy, along * s);
    EXPECT_EQ(LineFoot(vertical, 5, 11, fx, fy), 0);
}

}  // namespace
