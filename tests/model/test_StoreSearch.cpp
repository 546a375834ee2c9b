// The store's grid searches (snap, pick, free slots, grid queries) give what the plain scans give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "model/DrawingStore.h"
#include "model/SpatialGrid.h"
#include "tests/model/RandomChanges.h"

namespace {

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The searches of the store compared with its plain scans at many cursor positions and
// thresholds; cursors on snap points and on lines give exact ties and zero distances.
void ExpectSearchesAsPlain(DrawingStore& s, std::mt19937& rng, const char* where) {
    std::uniform_real_distribution<double> pos(-400, 400);
    std::vector<std::pair<double, double>> cursors;
    for (int i = 0; i < 40; ++i) cursors.emplace_back(pos(rng), pos(rng));
    for (int i = 0; i < 10 && s.pointTop > 0; ++i) {
        const PointElement& p =
            std::as_const(s).point(std::uniform_int_distribution<int>(0, s.pointTop)(rng));
        cursors.emplace_back(p.x, p.y);
        cursors.emplace_back(p.x + 0.5, p.y - 0.25);
    }
    cursors.emplace_back(1e7, -1e7);  // far outside the drawing
    for (auto [x, y] : cursors) {
        for (double t : {1e-6, 4.0, 400.0, 40000.0, 4e12}) {
            s.useSpatialIndex = false;
            const int32_t plainPoint = std::as_const(s).NearestPoint(x, y, t);
            double plainT = t;
            int32_t plainLine, plainCircle;
            std::as_const(s).NearestElement(x, y, plainT, plainLine, plainCircle);
            s.useSpatialIndex = true;
            ASSERT_EQ(std::as_const(s).NearestPoint(x, y, t), plainPoint)
                << where << " at " << x << ", " << y << " t " << t;
            double gridT = t;
            int32_t gridLine, gridCircle;
            std::as_const(s).NearestElement(x, y, gridT, gridLine, gridCircle);
            ASSERT_EQ(gridLine, plainLine) << where << " at " << x << ", " << y << " t " << t;
            ASSERT_EQ(gridCircle, plainCircle) << where << " at " << x << ", " << y << " t " << t;
            ASSERT_TRUE(SameBits(gridT, plainT)) << where;
        }
    }
}

}  // namespace

TEST(StoreSearch, SnapAndPickAreThoseOfThePlainScansThroughAdditionsDeletionsReuseAndClears) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(seed);
        DrawingStore s;
        for (int round = 0; round < 12; ++round) {
            // Small batches keep the point grid's list of late points in play; the large
            // ones make it build again.
            const int changes = round % 3 == 2 ? 600 : 25;
            for (int i = 0; i < changes; ++i) Change(s, rng, true);
            ExpectSearchesAsPlain(s, rng, "random drawing");
        }
    }
}

TEST(StoreSearch, APointWrittenDirectlyOrSortedIsFoundAtItsNewPlace) {
    DrawingStore s;
    std::mt19937 rng(5);
    for (int i = 0; i < 400; ++i) Change(s, rng, false);
    ExpectSearchesAsPlain(s, rng, "before");
    s.point(3) = PointElement{1234.5, -987.25, kPointEnd, kOwnerLine, 3, kOwnerLine, 3};
    EXPECT_EQ(std::as_const(s).NearestPoint(1234.5, -987.25, 1.0), 3);
    s.SortPoints(0, s.pointTop);
    ExpectSearchesAsPlain(s, rng, "after the sort");
}

TEST(StoreSearch, ANewLineIsCaughtAndPickedAtOnceAndADeletedOneNeverAgain) {
    DrawingStore s;
    std::mt19937 rng(8);
    for (int i = 0; i < 2000; ++i) Change(s, rng, false);
    ASSERT_EQ(std::as_const(s).NearestPoint(5000, 5000, 1.0), -1);
    const int32_t slot = s.lineCur;
    s.AddLine(5000, 5000, 5010, 5000, 0);
    const int32_t caught = std::as_const(s).NearestPoint(5000.1, 5000, 1.0);
    ASSERT_NE(caught, -1);
    EXPECT_EQ(std::as_const(s).point(caught).owner1Index, slot);
    double t = 4000.0;
    int32_t line, circle;
    std::as_const(s).NearestElement(5005, 5000.5, t, line, circle);
    EXPECT_EQ(line, slot);
    s.DeleteLine(slot, 0);
    EXPECT_EQ(std::as_const(s).NearestPoint(5000.1, 5000, 1.0), -1);
    t = 1.0;
    std::as_const(s).NearestElement(5005, 5000.5, t, line, circle);
    EXPECT_EQ(line, -1);
    EXPECT_EQ(circle, -1);
    // The freed slot comes back with the next line, found where that one lies.
    s.AddLine(-5000, 40, -4990, 40, 0);
    s.AddLine(-5000, 60, -4990, 60, 0);
    EXPECT_NE(std::as_const(s).NearestPoint(-4990, 60, 1e-9), -1);
}

TEST(StoreSearch, ClearStoreGivesTheTablesMemoryBackAndKeepsEverySlot) {
    DrawingStore s;
    std::mt19937 rng(3);
    for (int i = 0; i < 3000; ++i) Change(s, rng, false);
    const int32_t lineAlloc = s.lineAlloc, pointAlloc = s.pointAlloc;
    s.ClearStore();
    EXPECT_EQ(s.lineAlloc, lineAlloc);
    EXPECT_EQ(s.pointAlloc, pointAlloc);
    EXPECT_EQ(s.points().BlockOf(0), nullptr);
    EXPECT_EQ(s.lines().BlockOf(0), nullptr);
    for (int32_t i = 0; i <= pointAlloc; i += 97)
        EXPECT_EQ(std::as_const(s).point(i).kind, kPointFree);
    EXPECT_EQ(s.NextFreeLineSlot(), 0);
    s.AddLine(0, 0, 10, 0, 0);
    EXPECT_EQ(std::as_const(s).NearestPoint(10, 0, 1.0), 1);
}

TEST(StoreSearch, FreeSlotsGiveTheLowestFreeSlotAsAScanWould) {
    FreeSlots f;
    std::vector<bool> free(5000, false);
    std::mt19937 rng(2);
    f.AllFree(300);
    for (int i = 0; i < 300; ++i) free[size_t(i)] = true;
    for (int step = 0; step < 20000; ++step) {
        const int slot = std::uniform_int_distribution<int>(0, 4999)(rng);
        const bool value = (step / 2000) % 2 ? rng() % 4 == 0 : rng() % 2 == 0;
        f.Set(slot, value);
        free[size_t(slot)] = value;
        const int limit = std::uniform_int_distribution<int>(0, 4999)(rng);
        int expected = -1;
        for (int i = 0; i < 5000; ++i)
            if (free[size_t(i)]) {
                expected = i <= limit ? i : -1;
                break;
            }
        ASSERT_EQ(f.Lowest(limit), expected) << "step " << step;
    }
}

// A rebuild that would give the cells about the size they have keeps them and their
// elements; one that would change them much builds the grid again.
TEST(StoreSearch, AGridIsBuiltAgainOnlyWhenItsElementsChangeTheirSizeMuch) {
    SpatialGrid g;
    std::vector<Box> boxes;
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> pos(0, 200);  // dense: the cells follow the sizes
    int rebuilds = 0;
    const auto add = [&](int count, double side) {
        for (int i = 0; i < count; ++i) {
            const double x = pos(rng), y = pos(rng);
            boxes.push_back({x, y, x + side, y + side});
            g.Insert(int32_t(boxes.size() - 1), boxes.back());
            if (!g.WantsRebuild()) continue;
            g.Rebuild([&](auto insert) {
                ++rebuilds;
                for (size_t k = 0; k < boxes.size(); ++k) insert(int32_t(k), boxes[k], uint8_t(0));
            });
        }
    };
    add(300, 20.0);  // the first rebuild, at 256, gives the grid its cells
    EXPECT_EQ(rebuilds, 1);
    const double cell = g.cell();
    add(4000, 21.0);  // grown sixteenfold with elements of about the same size: kept
    EXPECT_EQ(rebuilds, 1);
    EXPECT_EQ(g.cell(), cell);
    add(30000, 400.0);  // far larger elements: built again with larger cells
    EXPECT_GT(rebuilds, 1);
    EXPECT_GT(g.cell(), cell * 4);
}

TEST(StoreSearch, GridQueriesFindEveryBoxThatMeetsTheQuery) {
    SpatialGrid g;
    std::vector<Box> boxes(3000);
    std::vector<bool> in(3000, false);
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> pos(-1000, 1000), size(0, 30), big(0, 900);
    for (int step = 0; step < 6000; ++step) {
        const int id = std::uniform_int_distribution<int>(0, 2999)(rng);
        if (in[size_t(id)]) {
            g.Remove(id, boxes[size_t(id)]);
            in[size_t(id)] = false;
        } else {
            const double x = pos(rng), y = pos(rng), w = step % 50 ? size(rng) : big(rng);
            boxes[size_t(id)] = {x, y, x + w, y + size(rng)};
            g.Insert(id, boxes[size_t(id)], uint8_t(id % 4));
            in[size_t(id)] = true;
            if (g.WantsRebuild())
                g.Rebuild([&](auto insert) {
                    for (int i = 0; i < 3000; ++i)
                        if (in[size_t(i)]) insert(i, boxes[size_t(i)], uint8_t(i % 4));
                });
        }
        if (step % 10) continue;
        const double x = pos(rng), y = pos(rng);
        const Box q{x, y, x + big(rng) * (step % 3), y + size(rng)};
        std::vector<int32_t> found;
        g.Query(q, found);
        std::vector<bool> hit(3000, false);
        for (int32_t i : found) hit[size_t(i)] = true;
        for (int i = 0; i < 3000; ++i) {
            const Box& b = boxes[size_t(i)];
            if (in[size_t(i)] && b.minX <= q.maxX && b.maxX >= q.minX && b.minY <= q.maxY &&
                b.maxY >= q.minY) {
                ASSERT_TRUE(hit[size_t(i)]) << "box " << i << " at step " << step;
            }
        }
    }
}
