// Tests of the crossings of circles and arcs with lines and with each other.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "kernel/Mcalc.h"
#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "tests/support/ScriptedPrompts.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

CircleElement Circle(double cx, double cy, double r, double start = 0, double end = 0) {
    CircleElement c;
    EXPECT_EQ(SetCircleData(c, cx, cy, r, start, end), 1);
    return c;
}

LineElement Line(double x1, double y1, double x2, double y2) {
    LineElement l;
    EXPECT_EQ(SetLineEnds(l, x1, y1, x2, y2), 1);
    return l;
}

struct Points {
    double x1 = 99, y1 = 99, x2 = 99, y2 = 99;
};

int Roots(const CircleElement& c, const LineElement& l, Points& p) {
    double a, b, cc;
    LineCoefficients(l, a, b, cc);
    return LineCircleRoots(c, a, b, cc, p.x1, p.y1, p.x2, p.y2);
}

TEST(LineCircleRoots, FindsTangentMissingAndCrossingLines) {
    const CircleElement unit = Circle(0, 0, 1);
    Points p;
    EXPECT_EQ(Roots(unit, Line(-5, 1, 5, 1), p), 1);
    EXPECT_EQ(p.x1, 0.0);
    EXPECT_EQ(p.y1, 1.0);
    EXPECT_EQ(p.x2, 99.0);  // only the first point of a tangent

    Points miss;
    EXPECT_EQ(Roots(unit, Line(-5, 2, 5, 2), miss), -1);
    EXPECT_EQ(miss.x1, 99.0);
    EXPECT_EQ(LineCircleRoots(unit, 0, 0, 1, miss.x1, miss.y1, miss.x2, miss.y2), -1);
    EXPECT_EQ(miss.x1, 99.0);

    // x = 1/3: the offsets from the centre are rounded.
    EXPECT_EQ(LineCircleRoots(unit, 1, 0, -1.0 / 3.0, p.x1, p.y1, p.x2, p.y2), 2);
    EXPECT_EQ(p.x1, 0.33333);
    EXPECT_EQ(p.y1, 0.94281);
    EXPECT_EQ(p.x2, 0.33333);
    EXPECT_EQ(p.y2, -0.94281);
}

TEST(LineCircleRoots, RoundsTheOffsetFromTheCentreNotTheSum) {
    CircleElement c;  // by hand: a centre off the rounding grid
    c.cx = 0.000004;
    c.radius = 1;
    Points p;
    EXPECT_EQ(LineCircleRoots(c, 0, 1, 0, p.x1, p.y1, p.x2, p.y2), 2);
    EXPECT_EQ(p.x1, 0.000004 + 1.0);
    EXPECT_EQ(p.x2, 0.000004 + -1.0);
    EXPECT_EQ(p.y1, 0.0);
    EXPECT_FALSE(std::signbit(p.y1));
}

TEST(LineCircleRoots, ReportsAFaultWithTheCoefficientsAndGivesNoPoint) {
    ScriptedPrompts prompts;
    Points p;
    EXPECT_EQ(LineCircleRoots(Circle(0, 0, 1), 1, 1, 1e200, p.x1, p.y1, p.x2, p.y2), -1);
    EXPECT_EQ(p.x1, 99.0);
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].text, "a11.000000 b11.000000 aabb2.000000");
    EXPECT_EQ(prompts.shown()[0].caption, "");
}

TEST(Crosscirp, CountsTheCrossingsOnTheSegmentWithValidPointsFirst) {
    const CircleElement c = Circle(0, 0, 5);
    Points p;
    // The segment ends inside the circle; its crossing is the second root, moved to the front.
    EXPECT_EQ(crosscirp(c, Line(-10, 0, 0, 0), p.x1, p.y1, p.x2, p.y2), 1);
    EXPECT_EQ(p.x1, -5.0);
    EXPECT_EQ(p.y1, 0.0);
    EXPECT_EQ(crosscirp(c, Line(-10, 0, 10, 0), p.x1, p.y1, p.x2, p.y2), 2);
    EXPECT_EQ(p.x1, 5.0);
    EXPECT_EQ(p.x2, -5.0);
    EXPECT_EQ(crosscirp(c, Line(-1, 0, 1, 0), p.x1, p.y1, p.x2, p.y2), 0);
    EXPECT_EQ(crosscirp(c, Line(-10, 6, 10, 6), p.x1, p.y1, p.x2, p.y2), -1);
    EXPECT_EQ(crosscirp(c, Line(-1, 5, 1, 5), p.x1, p.y1, p.x2, p.y2), 1);
    EXPECT_EQ(p.x1, 0.0);
    EXPECT_EQ(p.y1, 5.0);
    EXPECT_EQ(crosscirp(c, Line(3, 5, 4, 5), p.x1, p.y1, p.x2, p.y2), 0);
}

// Used to lose about half of these: for a vertical line the discriminant cancelled to a
// last-bit negative ("the line misses the circle"), or a root's x missed the segment's own
// by a last bit and the within-segment test failed. Every such segment crosses twice.
TEST(Crosscirp, FindsBothCrossingsOfEveryHorizontalOrVerticalSegmentThatCutsACircle) {
    Points p;
    ASSERT_EQ(crosscirp(Circle(0.1, 0, 5), Line(0.8, -15.3, 0.8, 15.7), p.x1, p.y1, p.x2, p.y2), 2);
    EXPECT_EQ(p.x1, 0.8);
    EXPECT_EQ(p.x2, 0.8);
    EXPECT_EQ(p.y1, 4.95076);
    EXPECT_EQ(p.y2, -4.95076);
    // A tangent stays one point; a line beyond the rim still misses.
    EXPECT_EQ(crosscirp(Circle(0.1, 0, 5), Line(5.1, -9, 5.1, 9), p.x1, p.y1, p.x2, p.y2), 1);
    EXPECT_EQ(crosscirp(Circle(0.1, 0, 5), Line(-9, 5.2, 9, 5.2), p.x1, p.y1, p.x2, p.y2), -1);

    std::mt19937 rng(20);
    std::uniform_real_distribution<double> pos(-500, 500), rad(0.5, 200), inside(-0.95, 0.95);
    for (int i = 0; i < 4000; ++i) {
        const CircleElement c = Circle(pos(rng), pos(rng), rad(rng));
        const double across = inside(rng) * c.radius, reach = c.radius * 1.5;
        const bool vertical = i % 2 == 0;
        const LineElement l = vertical ? Line(c.cx + across, c.cy - reach, c.cx + across, c.cy + reach)
                                       : Line(c.cx - reach, c.cy + across, c.cx + reach, c.cy + across);
        ASSERT_EQ(crosscirp(c, l, p.x1, p.y1, p.x2, p.y2), 2) << i;
        EXPECT_EQ(vertical ? p.x1 : p.y1, vertical ? l.x1 : l.y1) << i;
        EXPECT_EQ(vertical ? p.x2 : p.y2, vertical ? l.x1 : l.y1) << i;
    }
}

TEST(Crosscirp, KeepsOnlyTheCrossingsOnTheArcIncludingArcsThroughZero) {
    Points p;
    EXPECT_EQ(crosscirp(Circle(0, 0, 5, 90, 180), Line(-10, 3, 10, 3), p.x1, p.y1, p.x2, p.y2), 1);
    EXPECT_EQ(p.x1, -4.0);
    EXPECT_EQ(p.y1, 3.0);
    EXPECT_EQ(crosscirp(Circle(0, 0, 5, 300, 60), Line(4, -10, 4, 10), p.x1, p.y1, p.x2, p.y2), 2);
    EXPECT_EQ(p.x1, 4.0);
    EXPECT_EQ(p.y1, 3.0);
    EXPECT_EQ(p.y2, -3.0);
    EXPECT_EQ(crosscirp(Circle(0, 0, 5, 60, 300), Line(4, -10, 4, 10), p.x1, p.y1, p.x2, p.y2), 0);
    // Only the lower crossing is on the segment, and it is on the wrapping arc.
    EXPECT_EQ(crosscirp(Circle(0, 0, 5, 300, 60), Line(4, -10, 4, 0), p.x1, p.y1, p.x2, p.y2), 1);
    EXPECT_EQ(p.y1, -3.0);
}

TEST(Crosscirp, ReportsAFaultWhileTestingTheArc) {
    ScriptedPrompts prompts;
    CircleElement c = Circle(0, 0, 5, 0, 90);
    c.startAngle = kNaN;  // by hand: the store never keeps such a record
    Points p;
    EXPECT_EQ(crosscirp(c, Line(-10, 3, 10, 3), p.x1, p.y1, p.x2, p.y2), 0);
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"crosscirp"});
}

TEST(CirCir, CountsTheCrossingsOnBothArcsWithValidPointsFirst) {
    Points p;
    EXPECT_EQ(cir_cir(Circle(0, 0, 10), Circle(10, 0, 10), p.x1, p.y1, p.x2, p.y2), 2);
    EXPECT_EQ(p.x1, 5.0);
    EXPECT_EQ(p.y1, 8.66025);
    EXPECT_EQ(p.x2, 5.0);
    EXPECT_EQ(p.y2, -8.66025);
    // Only the second crossing (at 300 degrees of the first circle) is on its arc.
    EXPECT_EQ(cir_cir(Circle(0, 0, 10, 180, 359), Circle(10, 0, 10), p.x1, p.y1, p.x2, p.y2), 1);
    EXPECT_EQ(p.x1, 5.0);
    EXPECT_EQ(p.y1, -8.66025);
    // The second circle's arc counts as well: 120 to 240 holds the crossing at 240.
    EXPECT_EQ(cir_cir(Circle(0, 0, 10), Circle(10, 0, 10, 230, 250), p.x1, p.y1, p.x2, p.y2), 1);
    EXPECT_EQ(p.y1, -8.66025);
    EXPECT_EQ(cir_cir(Circle(0, 0, 10, 100, 170), Circle(10, 0, 10), p.x1, p.y1, p.x2, p.y2), -1);
    EXPECT_EQ(cir_cir(Circle(0, 0, 5), Circle(10, 0, 5), p.x1, p.y1, p.x2, p.y2), 1);  // tangent
    EXPECT_EQ(p.x1, 5.0);
    EXPECT_EQ(p.y1, 0.0);
}

TEST(CirCir, GivesMinusOneForConcentricSeparateAndNestedCircles) {
    Points p;
    EXPECT_EQ(cir_cir(Circle(1, 1, 5), Circle(1, 1, 3), p.x1, p.y1, p.x2, p.y2), -1);
    EXPECT_EQ(cir_cir(Circle(1, 1, 5), Circle(1, 1, 5), p.x1, p.y1, p.x2, p.y2), -1);
    EXPECT_EQ(cir_cir(Circle(0, 0, 1), Circle(10, 0, 1), p.x1, p.y1, p.x2, p.y2), -1);
    EXPECT_EQ(cir_cir(Circle(0, 0, 10), Circle(1, 0, 1), p.x1, p.y1, p.x2, p.y2), -1);
    EXPECT_EQ(p.x1, 99.0);
}

TEST(CirCir, ReportsAFaultWhileTestingTheArcsAndGivesTheCountSoFar) {
    ScriptedPrompts prompts;
    CircleElement c1 = Circle(0, 0, 10, 0, 90);
    c1.endAngle = kNaN;  // by hand
    Points p;
    EXPECT_EQ(cir_cir(c1, Circle(10, 0, 10), p.x1, p.y1, p.x2, p.y2), 0);
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"cir_cir"});
}

TEST(Crossings, LieOnBothElementsForRandomDrawings) {
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> coord(-100, 100), radius(0.5, 60), angle(0, 360);
    ScriptedPrompts prompts;
    int found = 0;
    for (int i = 0; i < 20000; ++i) {
        const CircleElement c =
            Circle(coord(random), coord(random), radius(random), angle(random), angle(random));
        const CircleElement d = Circle(coord(random), coord(random), radius(random));
        const LineElement l = Line(coord(random), coord(random), coord(random), coord(random));
        Points p;
        const int k = crosscirp(c, l, p.x1, p.y1, p.x2, p.y2);
        for (int j = 0; j < k; ++j) {
            const double x = j ? p.x2 : p.x1, y = j ? p.y2 : p.y1;
            EXPECT_NEAR(PointDistance(x, y, c.cx, c.cy), c.radius, 1e-4);
            EXPECT_EQ(PointOnArc(c, x, y), 1);
            EXPECT_LE(PointSegmentDistance(l, x, y), 1e-4);
            ++found;
        }
        const int m = cir_cir(c, d, p.x1, p.y1, p.x2, p.y2);
        EXPECT_NE(m, 0);
        for (int j = 0; j < m; ++j) {
            const double x = j ? p.x2 : p.x1, y = j ? p.y2 : p.y1;
            EXPECT_NEAR(PointDistance(x, y, c.cx, c.cy), c.radius, 1e-4);
            EXPECT_NEAR(PointDistance(x, y, d.cx, d.cy), d.radius, 1e-4);
            EXPECT_EQ(PointOnArc(c, x, y), 1);
            ++found;
        }
    }
    EXPECT_GT(found, 5000);  // the checks above really ran
    EXPECT_TRUE(prompts.shown().empty());
}

}  // namespace
