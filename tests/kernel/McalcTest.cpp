// Tests of the numeric helpers: rounding, angles, distances, rotation, projection, fault watch.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>

#include "kernel/Mcalc.h"
#include "tests/support/ScriptedPrompts.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Round5, RoundsToTheNearestStepWithExactHalvesGoingDown) {
    EXPECT_EQ(Round5(0.123454), 0.12345);
    EXPECT_EQ(Round5(0.123456), 0.12346);
    EXPECT_EQ(Round5(1.234564), 1.23456);
    EXPECT_EQ(Round5(0.000005), 0.0);
    EXPECT_EQ(Round5(-0.000005), -0.00001);
    EXPECT_EQ(Round5(12.345675), 12.34567);  // x 100000 is exactly ...7.5
    EXPECT_EQ(Round5(-12.345675), -12.34568);
    EXPECT_EQ(Round5(1.000005), 1.0);
    EXPECT_EQ(Round5(-1.000005), -1.00001);
    EXPECT_EQ(Round5(123456.789012), 123456.78901);
}

TEST(Round5, LeavesWholeNumbersAndGridValuesExactlyAsTheyAre) {
    // Scaling by the double nearest 0.00001 would give 3.0000000000000004 here.
    EXPECT_EQ(Round5(3.0), 3.0);
    EXPECT_EQ(Round5(-5.0), -5.0);
    EXPECT_EQ(Round5(3.14159), 3.14159);
    EXPECT_EQ(Round5(Round5(7.777777)), Round5(7.777777));
}

TEST(Round5, NeverYieldsNegativeZero) {
    for (double v : {-0.0, 0.0, -0.000003, -0.000004999, 0.000004}) {
        const double r = Round5(v);
        EXPECT_EQ(r, 0.0) << v;
        EXPECT_FALSE(std::signbit(r)) << v;
    }
}

TEST(AngleConversions, UseTheTruncatedConstantsInTheGivenOrder) {
    EXPECT_EQ(DegToRad(180.0), 3.14159265358979);
    EXPECT_EQ(DegToRad(30.0), 30.0 * (1.0 / 180.0) * 3.14159265358979);
    EXPECT_EQ(RadToDeg(1.0), 0.318309886183791 * 180.0);
    EXPECT_EQ(RadToDeg(2.5), 2.5 * 0.318309886183791 * 180.0);
}

TEST(DirectionAngle, GivesEachQuadrantItsOwnOffsetAndRefusesDegenerateVectors) {
    const double half = kPi / 2;
    EXPECT_EQ(DirectionAngle(0, 0, 1, 0), 0.0);
    EXPECT_EQ(DirectionAngle(0, 0, 0, 1), half);
    EXPECT_EQ(DirectionAngle(0, 0, -1, 0), kPi);
    EXPECT_EQ(DirectionAngle(0, 0, 0, -1), 3 * half);
    EXPECT_EQ(DirectionAngle(0, 0, 0.001, 0.001), -1.0);
    EXPECT_EQ(DirectionAngle(2, 3, 2, 3), -1.0);
    EXPECT_EQ(DirectionAngle(0, 0, 1, 1), std::atan(1.0));
    // Each quadrant swaps the components its own way; the larger one is always the divisor.
    EXPECT_EQ(DirectionAngle(0, 0, 1, 2), half - std::atan(0.5));
    EXPECT_EQ(DirectionAngle(0, 0, -1, 2), half + std::atan(0.5));
    EXPECT_EQ(DirectionAngle(0, 0, -2, 1), half + (half - std::atan(0.5)));
    EXPECT_EQ(DirectionAngle(0, 0, -2, -1), 2 * half + std::atan(0.5));
    EXPECT_EQ(DirectionAngle(10, 10, 12, 9), 3 * half + (half - std::atan(0.5)));
}

TEST(DirectionAngleDeg, RoundsInRadiansBeforeConverting) {
    EXPECT_EQ(DirectionAngleDeg(0, 0, 0, 1), 1.5708 * 0.318309886183791 * 180.0);
    EXPECT_EQ(DirectionAngleDeg(0, 0, 0, 0), -1.0 * 0.318309886183791 * 180.0);
    EXPECT_NEAR(DirectionAngleDeg(0, 0, 0, 0), -57.29578, 5e-6);
}

TEST(AngleAtVertex, MeasuresTheInteriorAngleFromTheRoundedArcCosine) {
    EXPECT_EQ(AngleAtVertex(0, 0, 1, 0, 2, 0), 3.14159 * 0.318309886183791 * 180.0);
    EXPECT_NEAR(AngleAtVertex(0, 0, 1, 0, 2, 0), 179.99985, 5e-6);
    EXPECT_EQ(AngleAtVertex(0, 0, 1, 0, 1, 1), 1.5708 * 0.318309886183791 * 180.0);
    EXPECT_NEAR(AngleAtVertex(0, 0, 1, 0, 1, 1), 90.00021, 5e-6);
    // Rounding puts the cosine of this straight run just below -1.
    EXPECT_EQ(AngleAtVertex(0, 0, 0.1, 1.7, 0.3, 5.1), -180.0);
    EXPECT_EQ(AngleAtVertex(3, 4, 3, 4, 9, 9), 0.0);
    EXPECT_EQ(AngleAtVertex(3, 4, 9, 9, 9.001, 9.001), 0.0);
}

TEST(AngleBetweenVectors, GivesZeroForVectorsThatRoundingMakesMoreThanParallel) {
    // The design returned 180 when rounding pushed the cosine above 1, which happens for vectors
    // pointing the same way: two parallel lines measured as a straight angle. They give 0 now.
    EXPECT_EQ(AngleBetweenVectors(0.1, 0.5, 0.3, 1.5), 0.0);
    EXPECT_EQ(AngleBetweenVectors(2, 0, 5, 0), 0.0);
    EXPECT_EQ(AngleBetweenVectors(1, 0, 0, 1), 1.5708 * 0.318309886183791 * 180.0);
    EXPECT_EQ(AngleBetweenVectors(0.001, 0, 1, 0), 0.0);
}

TEST(PlaneHelpers, ComputeDistancesRotationsAndPolarPointsByTheirFormulas) {
    EXPECT_EQ(PointDistance(1, 1, 4, 5), 5.0);
    EXPECT_EQ(AbsValue(-2.5), 2.5);

    double x, y;
    const double t = kPi / 2;
    RotatePoint(1, 1, t, 3, 2, x, y);
    EXPECT_EQ(x, 1 + 2 * std::cos(t) - 1 * std::sin(t));
    EXPECT_EQ(y, 1 + 2 * std::sin(t) + 1 * std::cos(t));
    EXPECT_NEAR(x, 0.0, 1e-12);
    EXPECT_NEAR(y, 3.0, 1e-12);

    PolarPoint(x, y, 1, 2, 30, 10);
    EXPECT_EQ(x, 1 + 10 * std::cos(30 * (1.0 / 180.0) * 3.14159265358979));
    EXPECT_EQ(y, 2 + 10 * std::sin(30 * (1.0 / 180.0) * 3.14159265358979));
}

TEST(PointAngleDeg, GivesRoundedDegreesInZeroTo360) {
    double a = -1;
    PointAngleDeg(0, -1, 0, 0, a);
    EXPECT_EQ(a, 270.0);
    PointAngleDeg(6, 5, 5, 5, a);
    EXPECT_EQ(a, 0.0);
    PointAngleDeg(-1, 0, 0, 0, a);
    EXPECT_EQ(a, 180.0);
    PointAngleDeg(0, 1, 0, 0, a);
    EXPECT_EQ(a, 90.0);
    // A direction just below the axis rounds to 0, not to 360 or -0.
    PointAngleDeg(1, -1e-9, 0, 0, a);
    EXPECT_EQ(a, 0.0);
    EXPECT_FALSE(std::signbit(a));
    PointAngleDeg(1, -1e-7, 0, 0, a);
    EXPECT_EQ(a, -0.00001 + 360.0);
}

TEST(SamePoint, AcceptsSquaredDistancesUpTo1e5) {
    EXPECT_TRUE(SamePoint(1, 1, 1.003, 1));
    EXPECT_FALSE(SamePoint(1, 1, 1.004, 1));
    EXPECT_TRUE(SamePoint(0, 0, 0.002, 0.002));
    EXPECT_FALSE(SamePoint(0, 0, 0.0023, 0.0023));
}

TEST(ProjectionSide, TellsWhereAPointProjectsOntoASegment) {
    EXPECT_EQ(ProjectionSide(0, 0, 10, 0, -1, 5), -1);
    EXPECT_EQ(ProjectionSide(0, 0, 10, 0, 5, 5), 0);
    EXPECT_EQ(ProjectionSide(0, 0, 10, 0, 10, 0), 0);
    EXPECT_EQ(ProjectionSide(0, 0, 10, 0, 0, 0), 0);
    EXPECT_EQ(ProjectionSide(0, 0, 10, 0, 11, 0), 1);
    // A diagonal segment running to the lower left.
    EXPECT_EQ(ProjectionSide(5, 5, 0, 0, 6, 6), -1);
    EXPECT_EQ(ProjectionSide(5, 5, 0, 0, -1, 0), 1);
    EXPECT_EQ(ProjectionSide(5, 5, 0, 0, 0, 5), 0);
    EXPECT_EQ(ProjectionSide(2, 2, 2, 2, 50, 50), 0);
}

TEST(DirectionAngle, ReportsAnArithmeticFaultAsCirCirWithoutCaption) {
    ScriptedPrompts prompts;
    EXPECT_EQ(DirectionAngle(0, 0, 1e200, 1e200), -1.0);  // the squared length overflows
    EXPECT_EQ(DirectionAngle(0, 0, kNaN, 1), -1.0);
    const auto shown = prompts.shown();
    ASSERT_EQ(shown.size(), 2u);
    for (const auto& s : shown) {
        EXPECT_EQ(s.text, "cir_cir");
        EXPECT_EQ(s.caption, "");
        EXPECT_EQ(s.buttons, PromptButtons::Ok);
    }
    // The fault is reported once; the next ordinary call is clean.
    prompts.clear();
    EXPECT_EQ(DirectionAngle(0, 0, 1, 0), 0.0);
    EXPECT_TRUE(prompts.shown().empty());
}

TEST(FpFaultScope, IgnoresFlagsRaisedBeforeItAndHandsOuterFlagsBack) {
    std::feraiseexcept(FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO);
    {
        FpFaultScope outer;
        EXPECT_FALSE(outer.Faulted());
        std::feraiseexcept(FE_OVERFLOW);
        {
            FpFaultScope inner;
            EXPECT_FALSE(inner.Faulted());
            EXPECT_TRUE(inner.Faulted({1.0, kNaN}));
            EXPECT_TRUE(inner.Faulted({std::numeric_limits<double>::infinity()}));
        }
        EXPECT_TRUE(outer.Faulted());
    }
    // The outermost scope leaves the status clear behind it.
    EXPECT_EQ(std::fetestexcept(FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO), 0);
}

}  // namespace
