// Lines-to-arcs: which junctions become arcs, the arcs they become, and undoing them.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "edit/LinesToArcs.h"
#include "kernel/Mcalc.h"
#include "kernel/Mcircle.h"
#include "model/DrawingStore.h"
#include "model/UndoJournal.h"

namespace {

constexpr double kMin = 140.0, kMax = 170.0;  // the defaults of the settings

struct Fixture {
    DrawingStore store;
    UndoJournal journal;
    std::vector<std::pair<char, int>> sent;  // ('L' or 'C', 1 added / 0 deleted)
    Fixture() {
        store.journal = &journal;
        store.shareLine = [this](int op, int32_t, const LineElement&) { sent.push_back({'L', op}); };
        store.shareCircle = [this](int op, int32_t, const CircleElement&) { sent.push_back({'C', op}); };
    }
    int AliveLines() const {
        int n = 0;
        for (int i = 0; i <= store.lineTop; ++i) n += store.line(i).alive;
        return n;
    }
    int AliveCircles() const {
        int n = 0;
        for (int i = 0; i <= store.circleTop; ++i) n += store.circle(i).alive;
        return n;
    }
};

// The arc through A, B and C as the store keeps it: the centre rounded to five decimals.
void ExpectArc(const CircleElement& got, double ax, double ay, double bx, double by, double cx,
               double cy) {
    CircleElement want;
    ASSERT_EQ(ArcBy3Points(want, ax, ay, bx, by, cx, cy), 1);
    EXPECT_EQ(got.cx, Round5(want.cx));
    EXPECT_EQ(got.cy, Round5(want.cy));
    EXPECT_EQ(got.radius, want.radius);
    EXPECT_EQ(got.startAngle, want.startAngle);
    EXPECT_EQ(got.endAngle, want.endAngle);
}

LineElement Line(double x1, double y1, double x2, double y2) {
    LineElement l;
    l.x1 = x1, l.y1 = y1, l.x2 = x2, l.y2 = y2;
    return l;
}

}  // namespace

TEST(LinesToArcs, ATwentyDegreeBendBecomesOneUndoableArcThroughTheThreePoints) {
    Fixture f;
    f.store.AddLine(0, 0, 10, 0, 1);
    f.store.AddLine(10, 0, 19.40, 3.42, 1);
    f.store.currentCircle().colour = 4;  // the colour box's choice, not the lines'
    f.sent.clear();
    EXPECT_EQ(LinesToArcs(f.store, kMin, kMax), 1);
    EXPECT_EQ(f.AliveLines(), 0);
    ASSERT_EQ(f.AliveCircles(), 1);
    ExpectArc(f.store.circle(0), 0, 0, 10, 0, 19.40, 3.42);
    EXPECT_EQ(f.store.circle(0).colour, 4);
    EXPECT_EQ(f.sent, (std::vector<std::pair<char, int>>{{'L', 0}, {'L', 0}, {'C', 1}}));
    EXPECT_EQ(LinesToArcs(f.store, kMin, kMax), 0);

    // Three undos take the arc back out and bring both lines back.
    for (int i = 0; i < 3; ++i) Undo1(f.journal, f.store, {});
    EXPECT_EQ(f.AliveCircles(), 0);
    ASSERT_EQ(f.AliveLines(), 2);
    EXPECT_EQ(f.store.line(1).x2, 19.40);
    EXPECT_EQ(f.store.line(1).y2, 3.42);
    EXPECT_EQ(LinesToArcs(f.store, kMin, kMax), 1);
}

TEST(LinesToArcs, OnlyBendsWithinTheWindowAreJoinedAndEveryWindowThatAcceptsIsCounted) {
    auto bend = [](double degrees) {
        const double a = DegToRad(degrees);
        return Line(10, 0, Round5(10 + 10 * std::cos(a)), Round5(10 * std::sin(a)));
    };
    const LineElement first = Line(0, 0, 10, 0), second = bend(20);
    CircleElement arc;
    EXPECT_EQ(ArcFromJoinedLines(arc, first, bend(39.9), kMin, kMax), 1);
    EXPECT_EQ(ArcFromJoinedLines(arc, first, bend(10.1), kMin, kMax), 1);
    // Both bounds are inclusive; bounds past 180 let the mirrored window accept as well.
    const double interior = AngleAtVertex(0, 0, 10, 0, second.x2, second.y2);
    EXPECT_EQ(ArcFromJoinedLines(arc, first, second, interior, interior), 1);
    EXPECT_EQ(ArcFromJoinedLines(arc, first, second, interior + 1e-9, kMax), 0);
    EXPECT_EQ(ArcFromJoinedLines(arc, first, second, 150, 200), 2);
    // Lines without a common end point give nothing, however wide the window.
    arc.radius = -1;
    EXPECT_EQ(ArcFromJoinedLines(arc, first, Line(10.01, 0, 19.4, 3.42), 0, 360), 0);
    EXPECT_EQ(arc.radius, -1);

    // Bends of 5 and 60 degrees stay lines.
    Fixture f;
    for (double degrees : {5.0, 60.0}) {
        const LineElement l = bend(degrees);
        f.store.AddLine(0, degrees, 10, degrees, 1);
        f.store.AddLine(l.x1, l.y1 + degrees, l.x2, l.y2 + degrees, 1);
    }
    EXPECT_EQ(LinesToArcs(f.store, kMin, kMax), 0);
    EXPECT_EQ(f.AliveLines(), 4);
}

TEST(LinesToArcs, LeftAndRightBendsGiveTheSameArcInWhateverOrderTheirLinesWereDrawn) {
    // Which end each line starts from, and which of them is drawn first.
    for (double side : {1.0, -1.0})
        for (int order = 0; order < 8; ++order) {
            LineElement a = Line(0, 0, 10, 0), b = Line(10, 0, 19.40, side * 3.42);
            if (order & 1) a = Line(a.x2, a.y2, a.x1, a.y1);
            if (order & 2) b = Line(b.x2, b.y2, b.x1, b.y1);
            if (order & 4) std::swap(a, b);
            Fixture f;
            f.store.AddLine(a.x1, a.y1, a.x2, a.y2, 1);
            f.store.AddLine(b.x1, b.y1, b.x2, b.y2, 1);
            EXPECT_EQ(LinesToArcs(f.store, kMin, kMax), 1) << order;
            ExpectArc(f.store.circle(0), 0, 0, 10, 0, 19.40, side * 3.42);
        }
}

TEST(LinesToArcs, CrossingsTeesAndLinesRunningIntoArcsAreNeverJoined) {
    // Any bend would do: only end points of two lines may meet.
    Fixture f;
    f.store.AddLine(0, 0, 20, 0, 1);
    f.store.AddLine(0, -1.7, 20, 1.7, 1);
    f.store.AddLine(0, 10, 20, 10, 1);
    f.store.AddLine(10, 10, 19.40, 13.42, 1);
    f.store.AddLine(0, 30, 10, 30, 1);
    f.store.AddCircle(10, 80, 50, 270, 290, 1);  // starts where the last line ends
    EXPECT_EQ(LinesToArcs(f.store, 1, 179), 0);
    EXPECT_EQ(f.AliveLines(), 5);
    EXPECT_EQ(f.AliveCircles(), 1);
}

TEST(LinesToArcs, AChainIsJoinedGreedilyFromItsFirstJunctionInTheSortedTable) {
    std::vector<double> xs = {0}, ys = {0};
    for (int i = 0; i < 4; ++i) {
        const double a = DegToRad(20.0 * i);
        xs.push_back(Round5(xs.back() + 10 * std::cos(a)));
        ys.push_back(Round5(ys.back() + 10 * std::sin(a)));
    }
    // Three lines: the junction at x = 10 comes first, so the third line stays.
    Fixture f;
    for (int i = 0; i < 3; ++i) f.store.AddLine(xs[i], ys[i], xs[i + 1], ys[i + 1], 1);
    EXPECT_EQ(LinesToArcs(f.store, kMin, kMax), 1);
    EXPECT_EQ(f.store.line(2).alive, 1);
    EXPECT_EQ(f.AliveLines(), 1);
    ExpectArc(f.store.circle(0), xs[0], ys[0], xs[1], ys[1], xs[2], ys[2]);
    EXPECT_EQ(LinesToArcs(f.store, kMin, kMax), 0);
    // Four lines give two arcs.
    Fixture g;
    for (int i = 0; i < 4; ++i) g.store.AddLine(xs[i], ys[i], xs[i + 1], ys[i + 1], 1);
    EXPECT_EQ(LinesToArcs(g.store, kMin, kMax), 2);
    ExpectArc(g.store.circle(1), xs[2], ys[2], xs[3], ys[3], xs[4], ys[4]);
}

TEST(LinesToArcs, PointsOfMissingLinesAndATakenCircleSlotCostNoLine) {
    // A stale point must not take the live line it meets down with a line that is gone.
    Fixture f;
    f.store.AddLine(0, 0, 10, 0, 1);
    f.store.AddLine(10, 0, 19.40, 3.42, 1);
    f.store.DeleteLine(1, 1);
    int found = 0;
    for (int i = 0; i <= f.store.pointTop && found < 2; ++i)
        if (f.store.point(i).kind == kPointFree) {
            const int32_t owner = found++ ? 1 : 1000000;
            f.store.point(i) = PointElement{10, 0, kPointEnd, kOwnerLine, owner, kOwnerLine, owner};
        }
    ASSERT_EQ(found, 2);
    EXPECT_EQ(LinesToArcs(f.store, kMin, kMax), 0);
    EXPECT_EQ(f.store.line(0).alive, 1);
    EXPECT_EQ(f.AliveCircles(), 0);

    // After a failed allocation the current circle slot is taken and no arc can go in.
    Fixture g;
    g.store.AddLine(0, 0, 10, 0, 1);
    g.store.AddLine(10, 0, 19.40, 3.42, 1);
    g.store.currentCircle().alive = 1;
    EXPECT_EQ(LinesToArcs(g.store, kMin, kMax), 0);
    EXPECT_EQ(g.AliveLines(), 2);
    g.store.currentCircle().alive = 0;
}
