// The indexed intersection search gives exactly the snap points of the plain scan.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "model/DrawingStore.h"

namespace {

using Row = std::tuple<double, double, int, int, int, int, int>;

std::vector<Row> Snapshot(const DrawingStore& s) {
    std::vector<Row> rows;
    for (int i = 0; i <= s.pointTop; ++i) {
        const PointElement& p = s.point(i);
        rows.emplace_back(p.x, p.y, p.kind, p.owner1Kind, p.owner1Index, p.owner2Kind,
                          p.owner2Index);
    }
    return rows;
}

// Builds the same random drawing twice, once through the index and once by the plain scan,
// with additions, deletions, slot reuse and clears mixed in.
void Build(DrawingStore& s, unsigned seed, bool indexed) {
    s.useSpatialIndex = indexed;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> pos(-500, 500), len(-80, 80), rad(0.5, 120);
    std::uniform_int_distribution<int> pick(0, 99);
    for (int step = 0; step < 3000; ++step) {
        int what = pick(rng);
        double x = pos(rng), y = pos(rng);
        if (what < 45) {
            // Some lines on a grid, so that end points meet exactly and lines overlap.
            if (what < 10)
                s.AddLine(std::round(x / 50) * 50, std::round(y / 50) * 50,
                          std::round(x / 50) * 50 + 50, std::round(y / 50) * 50, 0);
            else if (what < 13)
                s.AddLine(x, y, x + len(rng) * 20, y + len(rng) * 20, 0);  // long ones
            else
                s.AddLine(x, y, x + len(rng), y + len(rng), 0);
        } else if (what < 60) {
            s.AppendLine(x, y, x + len(rng), y);
        } else if (what < 80) {
            double a = pick(rng) * 3.6, b = pick(rng) * 3.6;
            if (what < 70) b = a;
            s.AddCircle(x, y, rad(rng), a, b, 0);
        } else if (what < 85) {
            s.AppendCircle(x, y, rad(rng), 0, 0);
        } else if (what < 95) {
            int i = std::uniform_int_distribution<int>(0, s.lineTop)(rng);
            s.DeleteLine(i, 0);
        } else if (what < 99) {
            int i = std::uniform_int_distribution<int>(0, s.circleTop)(rng);
            s.DeleteCircle(i, 0);
        } else if (step % 7 == 0) {
            s.ClearStore();
        }
    }
}

}  // namespace

TEST(SpatialIndex, RandomDrawingsGetTheSameSnapPointsAsThePlainScan) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        DrawingStore indexed, plain;
        Build(indexed, seed, true);
        Build(plain, seed, false);
        ASSERT_EQ(indexed.pointTop, plain.pointTop) << "seed " << seed;
        ASSERT_EQ(Snapshot(indexed), Snapshot(plain)) << "seed " << seed;
        ASSERT_EQ(indexed.lineTop, plain.lineTop);
        ASSERT_EQ(indexed.circleTop, plain.circleTop);
    }
}
