// A generated drawing like a real floor plan: walls on a room grid, door arcs, columns and fixtures.
#pragma once

#include <cmath>
#include <random>

#include "model/DrawingStore.h"

// Walls on a grid of grid x grid rooms of 4 m, over one to four rooms each, and door arcs
// at the rooms' corners.
inline void AppendWallsAndDoors(DrawingStore& s, std::mt19937& rng, int grid, int lines,
                                int arcs) {
    const double room = 4.0;  // metres between walls
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

// 50,000 wall lines and 10,000 door arcs on an 800 m square site, each wall crossing a
// handful of others.
inline void AppendFloorPlan(DrawingStore& s, int lines = 50000, int arcs = 10000,
                            unsigned seed = 7) {
    std::mt19937 rng(seed);
    AppendWallsAndDoors(s, rng, 200, lines, arcs);
}

// The floor plan of `elements` elements at the density of the 65,000-element plan: 77% wall
// lines, 15% door arcs and 8% full circles (columns on wall corners, fixtures inside the
// rooms). The site grows with the square root of the count, so that every element crosses
// about as many others at every size. Lines first, then arcs, then circles, as a file
// reader would append them.
inline void AppendScaledFloorPlan(DrawingStore& s, int elements, unsigned seed = 7) {
    std::mt19937 rng(seed);
    const int lines = int(std::lround(elements * 0.77));
    const int arcs = int(std::lround(elements * 0.15));
    const int circles = elements - lines - arcs;
    const double room = 4.0;
    const int grid = std::max(1, int(std::lround(200.0 * std::sqrt(elements / 65000.0))));
    AppendWallsAndDoors(s, rng, grid, lines, arcs);
    std::uniform_int_distribution<int> cell(0, grid - 1);
    for (int i = 0; i < circles; ++i) {
        double a = cell(rng) * room, b = cell(rng) * room;
        if (i % 2 == 0)
            s.AppendCircle(a, b, 0.25, 0, 0);  // a column where walls meet
        else
            s.AppendCircle(a + 2.0, b + 1.5, 0.4, 0, 0);  // a fixture inside a room
    }
}
