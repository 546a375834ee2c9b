// A generated drawing like a real floor plan: walls on a room grid and door arcs.
#pragma once

#include <random>

#include "core/DrawingStore.h"

// 50,000 wall lines and 10,000 door arcs on an 800 m square site, each wall crossing a
// handful of others.
inline void AppendFloorPlan(DrawingStore& s, int lines = 50000, int arcs = 10000,
                            unsigned seed = 7) {
    std::mt19937 rng(seed);
    const double room = 4.0;  // metres between walls
    const int grid = 200;
    std::uniform_int_distribution<int> cell(0, grid - 1), span(1, 4);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3), angle(0, 360);
    for (int i = 0; i < lines; ++i) {
        double a = cell(rng) * room, b = cell(rng) * room;
        double l = span(rng) * room + jitter(rng);
        if (i % 2 == 0)
            s.AppendLine(a - 0.5, b, a + l, b);  // a horizontal wall over a few rooms
        else
            s.AppendLine(a, b - 0.5, a, b + l);
    }
    for (int i = 0; i < arcs; ++i) {
        double a = cell(rng) * room + 0.2, b = cell(rng) * room + 0.2;
        double start = angle(rng);
        s.AppendCircle(a, b, 0.9, start, start + 90 > 360 ? start - 270 : start + 90);
    }
}
