// The drawing store: slots, normalisation, snap points, clearing, texts and appends.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "model/DrawingStore.h"
#include "tests/support/ScriptedPrompts.h"

namespace {

struct P {
    double x, y;
    int kind;
    char o1k;
    int o1;
    char o2k;
    int o2;
    bool operator==(const P&) const = default;
};

std::vector<P> Points(const DrawingStore& s) {
    std::vector<P> out;
    for (int i = 0; i <= s.pointTop; ++i) {
        const PointElement& p = s.point(i);
        if (p.kind)
            out.push_back({p.x, p.y, p.kind, char(p.owner1Kind), p.owner1Index, char(p.owner2Kind),
                           p.owner2Index});
    }
    return out;
}

}  // namespace

TEST(DrawingStore, LinesAreRoundedOrderedAndTinyOnesRefused) {
    DrawingStore s;
    s.AddLine(5, 0, 1, 0, 0);
    EXPECT_EQ(s.line(0).x1, 1.0);
    EXPECT_EQ(s.line(0).x2, 5.0);
    s.AddLine(2, 3, 2, 1, 0);
    EXPECT_EQ(s.line(1).y1, 1.0);
    EXPECT_EQ(s.line(1).y2, 3.0);
    s.AddLine(0.123456, 0, 0.123454, 7, 0);
    EXPECT_EQ(s.line(2).x1, 0.12345);  // the smaller x comes first
    EXPECT_EQ(s.line(2).x2, 0.12346);
    EXPECT_EQ(s.lineCur, 3);
    s.AddLine(0, 0, 0.003, 0, 0);  // squared distance 9e-6: refused
    s.AppendLine(0, 0, 0.002, 0.002);
    EXPECT_EQ(s.line(3).alive, 0);
    EXPECT_EQ(s.lineCur, 3);
    s.AddLine(0, 0, 0.0032, 0, 0);
    EXPECT_EQ(s.line(3).alive, 1);
    // Nothing that is not a number ever reaches the table.
    s.AddLine(NAN, 0, 1, 1, 0);
    s.AddLine(0, 0, INFINITY, 1, 0);
    s.AddLine(0, 0, 1e305, 1, 0);
    s.AddCircle(0, 0, NAN, 0, 0, 0);
    EXPECT_EQ(s.lineCur, 4);
    EXPECT_EQ(s.line(4).alive, 0);
    EXPECT_EQ(s.circle(0).alive, 0);
    // Circles keep their radius and angles unrounded, only the centre is rounded.
    s.AddCircle(1.234564, 2, 0.1234567, 10.1234567, 20, 0);
    EXPECT_EQ(s.circle(0).cx, 1.23456);
    EXPECT_EQ(s.circle(0).radius, 0.1234567);
    EXPECT_EQ(s.circle(0).startAngle, 10.1234567);
    s.AddCircle(0, 0, 0, 0, 0, 0);
    s.AddCircle(0, 0, -1, 0, 0, 0);
    EXPECT_EQ(s.circleCur, 1);
}

TEST(DrawingStore, FreedSlotsAreReusedOnlyAfterTheCurrentSlot) {
    DrawingStore s;
    for (int i = 0; i < 6; ++i) s.AddLine(0, i * 10, 100, i * 10, 0);
    EXPECT_EQ(s.lineCur, 6);
    s.DeleteLine(3, 0);
    s.AddLine(0, 100, 50, 100, 0);
    EXPECT_EQ(s.line(6).alive, 1);
    EXPECT_EQ(s.lineCur, 3);
    s.AddLine(0, 200, 50, 200, 0);
    EXPECT_EQ(s.line(3).y1, 200.0);
    s.AddLine(0, 300, 50, 300, 0);
    EXPECT_EQ(s.line(7).y1, 300.0);
    EXPECT_EQ(s.lineTop, 8);
    EXPECT_EQ(s.lineCur, 8);
    // Deleting a free slot, or one that does not exist, changes nothing.
    s.DeleteLine(8, 0);
    s.DeleteLine(-1, 0);
    s.DeleteLine(123456, 0);
    EXPECT_EQ(s.lineCur, 8);
}

TEST(DrawingStore, ColourAndPenWidthCarryOverToTheNextSlot) {
    DrawingStore s;
    s.SetCurrentColour(2);
    s.currentLine().penWidth = 3;
    s.AddLine(0, 0, 10, 0, 0);
    EXPECT_EQ(s.currentLine().colour, 2);
    EXPECT_EQ(s.currentLine().penWidth, 3);
    EXPECT_EQ(s.currentCircle().fillColour, 2);
    s.currentCircle().fillStyle = 0;
    s.AddCircle(0, 0, 25, 0, 0, 0);
    EXPECT_EQ(s.currentCircle().radius, 25.0);
    EXPECT_EQ(s.currentCircle().fillStyle, 0);
    EXPECT_EQ(s.currentCircle().colour, 2);
}

TEST(DrawingStore, SnapPointsOfLinesAndCirclesComeInTheirDefinedOrder) {
    DrawingStore s;
    s.AddLine(0, 0, 10, 0, 0);
    s.AddCircle(5, 0, 3, 0, 0, 0);
    s.AddLine(5, -10, 5, 10, 0);
    std::vector<P> expected = {
        {0, 0, 2, 'L', 0, 'L', 0},  {10, 0, 2, 'L', 0, 'L', 0}, {5, 0, 3, 'L', 0, 'L', 0},
        {5, 0, 3, 'C', 0, 'C', 0},  {8, 0, 6, 'C', 0, 'C', 0},  {5, 3, 6, 'C', 0, 'C', 0},
        {2, 0, 6, 'C', 0, 'C', 0},  {5, -3, 6, 'C', 0, 'C', 0},
    };
    std::vector<P> got = Points(s);
    ASSERT_GE(got.size(), 8u);
    // The circle's crossings with line 0: two points, on the segment, in root order.
    std::vector<P> cross(got.begin() + 8, got.begin() + 10);
    got.resize(8);
    EXPECT_EQ(got, expected);
    for (const P& p : cross) {
        EXPECT_EQ(p.kind, 6);
        EXPECT_EQ(p.o1k, 'C');
        EXPECT_EQ(p.o2k, 'L');
        EXPECT_EQ(p.y, 0.0);
        EXPECT_TRUE(p.x == 2.0 || p.x == 8.0);
    }
    std::vector<P> all = Points(s);
    // The vertical line: its ends and midpoint, its crossing with line 0, then the circle's.
    ASSERT_EQ(all.size(), 10u + 3 + 1 + 2);
    EXPECT_EQ(all[10], (P{5, -10, 2, 'L', 1, 'L', 1}));
    EXPECT_EQ(all[13], (P{5, 0, 6, 'L', 1, 'L', 0}));
    EXPECT_EQ(all[14].o2k, 'C');
    EXPECT_EQ(std::fabs(all[14].y), 3.0);
}

TEST(DrawingStore, ArcGetsItsEndPointsAndOnlyTheQuadrantsItCovers) {
    DrawingStore s;
    s.AddCircle(0, 0, 10, 350, 10, 0);
    std::vector<P> got = Points(s);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].kind, 3);
    EXPECT_EQ(got[1].kind, 2);
    EXPECT_NEAR(got[1].x, 10 * std::cos(350 * M_PI / 180), 1e-9);
    EXPECT_EQ(got[2].kind, 2);
    EXPECT_EQ(got[3], (P{10, 0, 6, 'C', 0, 'C', 0}));
}

TEST(DrawingStore, DeletingAnElementTakesItsSharedCrossingsAlong) {
    DrawingStore s;
    s.AddLine(0, 0, 10, 0, 0);
    s.AddLine(5, -5, 5, 5, 0);
    s.AddLine(0, 2, 10, 2, 0);
    EXPECT_EQ(Points(s).size(), 3u * 3 + 2);
    s.DeleteLine(1, 0);
    std::vector<P> left = Points(s);
    ASSERT_EQ(left.size(), 6u);
    for (const P& p : left) {
        EXPECT_NE(p.o1, 1);
        EXPECT_NE(p.o2, 1);
        EXPECT_NE(p.kind, 6);
    }
    // The freed point slots are used again, lowest first.
    int freeBefore = s.pointTop;
    s.AddLine(3, -5, 3, 5, 0);
    EXPECT_EQ(s.pointTop, freeBefore);
}

TEST(DrawingStore, ClearStoreStartsOverInSlotZeroAndKeepsTheRecords) {
    DrawingStore s;
    int resets = 0;
    s.resetToSelect = [&] { ++resets; };
    for (int i = 0; i < 5; ++i) s.AddLine(0, i, 10, i + 1, 0);
    s.AddCircle(0, 0, 4, 0, 0, 0);
    s.AppendText(1, 2, "abc", 3, 0);
    s.pickedLine = 2;
    s.snapIndex = 4;
    s.ClearStore();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(s.lineCur, 0);
    EXPECT_EQ(s.lineTop, 0);
    EXPECT_EQ(s.lineAlloc, 5);
    EXPECT_EQ(s.circleTop, 0);
    EXPECT_EQ(s.pointTop, 0);
    EXPECT_EQ(s.textCount, 0);
    EXPECT_EQ(s.pickedLine, -1);
    EXPECT_EQ(s.snapIndex, -1);
    EXPECT_EQ(s.line(3).alive, 0);
    EXPECT_EQ(s.text(0).colour, 15);
    EXPECT_TRUE(s.text(0).text.empty());
    s.AddLine(1, 1, 2, 2, 0);
    EXPECT_EQ(s.line(0).alive, 1);
    EXPECT_EQ(s.lineCur, 1);
    EXPECT_EQ(Points(s).size(), 3u);
}

// The text table grows like the element tables: a drawing of 100,000 texts keeps them all,
// and a clear gives the memory back.
TEST(DrawingStore, TextsGrowPastTheFirstTableAndAClearStartsSmallAgain) {
    DrawingStore s;
    ASSERT_TRUE(s.CreateStore());
    for (int i = 0; i < 100000; ++i) ASSERT_TRUE(s.AppendText(i, 0, "t", 1, 0));
    EXPECT_EQ(s.textCount, 100000);
    EXPECT_EQ(s.text(99999).alive, 1);
    EXPECT_EQ(s.text(99999).x, 99999.0);
    EXPECT_EQ(s.text(5).colour, 15);
    s.ClearStore();
    EXPECT_EQ(s.textCount, 0);
    EXPECT_EQ(s.text(0).alive, 0);
}

TEST(DrawingStore, AppendsFillFromTheEndWithWhiteLinesAndTheSlotsColourForCircles) {
    DrawingStore s;
    s.SetCurrentColour(3);
    s.AppendLine(0, 0, 10, 10);
    s.AppendLine(0, 0, 0, 0);  // coinciding: counters untouched
    s.AppendLine(10, 0, 0, 10);
    s.AppendCircle(5, 5, 1, 0, 0);
    s.AppendCircle(5, 5, 2, 0, 0);
    EXPECT_EQ(s.line(0).colour, 7);
    EXPECT_EQ(s.lineTop, 2);
    EXPECT_EQ(s.lineCur, 2);
    EXPECT_EQ(s.circle(0).colour, 3);
    EXPECT_EQ(s.circle(1).colour, 7);
    // The two diagonals cross at (5, 5); the circles' centres are there too.
    int crossings = 0;
    for (const P& p : Points(s))
        if (p.kind == 6 && p.o1k == 'L' && p.o2k == 'L') ++crossings;
    EXPECT_EQ(crossings, 1);
}

TEST(DrawingStore, TablesGrowPastTheirDesignedCapacity) {
    DrawingStore s;
    for (int i = 0; i < 50010; ++i) s.AppendLine(i * 10.0, 0, i * 10.0 + 5, 3);
    EXPECT_EQ(s.lineTop, 50010);
    EXPECT_EQ(s.line(50009).alive, 1);
    EXPECT_GE(s.pointTop, 150029);
}

TEST(DrawingStore, SortPointsOrdersByXThenYAcrossAllSlots) {
    DrawingStore s;
    s.AddLine(3, 5, 3, 1, 0);
    s.AddLine(1, 9, 3, 0, 0);
    s.AddLine(-2, 4, 3, 3, 0);
    s.SortPoints(0, s.pointTop);
    for (int i = 1; i <= s.pointTop; ++i) {
        const PointElement &a = s.point(i - 1), &b = s.point(i);
        ASSERT_TRUE(a.x < b.x || (a.x == b.x && a.y <= b.y)) << i;
    }
    // All fields moved with their point.
    for (int i = 0; i <= s.pointTop; ++i) {
        if (s.point(i).x == -2.0) {
            EXPECT_EQ(s.point(i).owner1Index, 2);
        }
    }
}

TEST(DrawingStore, EveryElementMadeAliveGetsAnIdentityOfItsOwnAndAPartnersIsKept) {
    DrawingStore s;
    s.AddLine(0, 0, 10, 0, 0);
    s.AddCircle(5, 5, 2, 0, 0, 0);
    s.AppendLine(0, 1, 10, 1);
    const uint64_t first = s.lineId(0);
    s.DeleteLine(0, 0);
    const int32_t again = s.lineCur;
    s.AddLine(0, 0, 10, 0, 0);  // the same line again is another element
    EXPECT_NE(s.lineId(again), first);
    EXPECT_NE(s.lineId(again), s.lineId(1));
    const uint64_t partners = (uint64_t(7) << DrawingStore::kIdSiteShift) | 42;
    const int32_t adopted = s.lineCur;
    s.AdoptId(partners);
    s.AddLine(0, 2, 10, 2, 0);
    EXPECT_EQ(s.lineId(adopted), partners);
    EXPECT_EQ(s.FindLine(partners, s.line(adopted)), adopted);
    EXPECT_EQ(s.FindLine(first, s.line(0)), -1);  // deleted identities are not found
    EXPECT_EQ(s.FindCircle(s.circleId(0), s.circle(0)), 0);

    // Renumbering gives the alive elements new identities of the site; a drawing taken from
    // a reader keeps its identities, and what is added afterwards repeats none of them.
    s.RenumberIds(1);
    EXPECT_EQ(s.lineId(adopted) >> DrawingStore::kIdSiteShift, 1u);
    DrawingStore read;
    read.AppendLine(0, 0, 1, 1);
    read.AppendLine(0, 1, 1, 2);
    s.TakeDrawing(read);
    s.AddLine(5, 5, 6, 6, 0);
    EXPECT_EQ(s.lineId(2) >> DrawingStore::kIdSiteShift, 1u);
    EXPECT_NE(s.lineId(2), s.lineId(0));
    EXPECT_NE(s.lineId(2), s.lineId(1));
}

// Blocks of plain records come zeroed from the system and are then given the fresh
// record's values where those are not zero: lines keep colour 7 and pen width 1 in every
// slot of a new block, points stay free, and a refreshed table reads fresh again.
TEST(SlotTable, NewAndRefreshedBlocksHoldFreshRecords) {
    SlotTable<LineElement> lines;
    SlotTable<PointElement> points;
    const size_t n = 3 * SlotTable<LineElement>::kBlock;
    for (size_t i = 0; i < n; ++i) {
        lines.emplace_back();
        points.emplace_back();
    }
    for (size_t written : {size_t(5), SlotTable<LineElement>::kBlock + 7}) {
        lines[written].x1 = 1.5;
        points[written].kind = kPointEnd;
        for (size_t i : {written - 1, written + 1, written + SlotTable<LineElement>::kMask / 2}) {
            const LineElement& l = std::as_const(lines)[i];
            EXPECT_EQ(l.colour, 7);
            EXPECT_EQ(l.penWidth, 1);
            EXPECT_EQ(l.alive, 0);
            EXPECT_EQ(std::as_const(points)[i].kind, kPointFree);
        }
    }
    EXPECT_EQ(lines.BlockOf(2 * SlotTable<LineElement>::kBlock), nullptr);
    // Records are made fresh as writing reaches them: a block is not written through at
    // once, a record across a page's end comes out whole, and making more never touches
    // what was written.
    const size_t perPage = 65536 / sizeof(LineElement), perStep = kMapStep / sizeof(LineElement);
    const size_t b = SlotTable<LineElement>::kBlock;
    EXPECT_LT(lines.ReadyIn(b), b);
    for (size_t i : {perPage - 1, perPage, perPage + 1, perStep, perStep + 1, 3 * perStep,
                     b - 1, b + perStep - 1, b + perStep, 2 * b + 2 * perStep + 1}) {
        lines[i].x1 = double(i);
        EXPECT_GT(lines.ReadyIn(i), i % b);
    }
    for (size_t i = 0; i < n; i += 97) {
        const LineElement& l = std::as_const(lines)[i];
        EXPECT_EQ(l.colour, 7) << i;
        if (l.x1 != 0.0 && l.x1 != 1.5) {
            EXPECT_EQ(l.x1, double(i));
        }
    }
    for (size_t i : {perPage, perStep + 1, b - 1, b + perStep, 2 * b + 2 * perStep + 1})
        EXPECT_EQ(std::as_const(lines)[i].x1, double(i));
    // The same for records that are fresh as zero bytes, page by page.
    const size_t perPointPage = 65536 / sizeof(PointElement);
    const size_t pointsWritten[] = {perPointPage - 1, perPointPage + 1, 5 * perPointPage + 3};
    for (size_t i : pointsWritten) points[i].x = double(i);
    for (size_t i : pointsWritten) {
        EXPECT_EQ(std::as_const(points)[i].x, double(i));
        EXPECT_EQ(std::as_const(points)[i + 1].x, 0.0);
        EXPECT_GT(points.ReadyIn(i), i);
    }
    lines.Refresh();
    points.Refresh();
    EXPECT_EQ(std::as_const(lines)[5].x1, 0.0);
    EXPECT_EQ(std::as_const(points)[5].kind, kPointFree);
}
