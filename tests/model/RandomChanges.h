// Random changes of a drawing, for tests that compare the store's searches with its plain scans.
#pragma once

#include <cmath>
#include <random>

#include "model/DrawingStore.h"

// One random change of the drawing: additions through both paths, deletions, slot reuse
// and now and then a clear. Lines snap to a coarse grid often, so that end points coincide
// and snap points tie.
inline void Change(DrawingStore& s, std::mt19937& rng, bool clears) {
    std::uniform_real_distribution<double> pos(-300, 300), len(-60, 60), rad(0.5, 80);
    std::uniform_int_distribution<int> pick(0, 99);
    const int what = pick(rng);
    const double x = pos(rng), y = pos(rng);
    if (what < 15) {
        const double gx = std::round(x / 40) * 40, gy = std::round(y / 40) * 40;
        if (what < 8)
            s.AddLine(gx, gy, gx + 40, gy, 0);
        else
            s.AddLine(gx, gy, gx, gy + 40, 0);
    } else if (what < 35) {
        s.AddLine(x, y, x + len(rng), y + len(rng), 0);
    } else if (what < 40) {
        s.AddLine(x, y, x + len(rng) * 15, y + len(rng) * 15, 0);  // long ones
    } else if (what < 50) {
        if (s.lineCur == s.lineTop) s.AppendLine(x, y, x + len(rng), y);
    } else if (what < 65) {
        const double a = pick(rng) * 3.6;
        s.AddCircle(x, y, rad(rng), a, what < 58 ? a : pick(rng) * 3.6, 0);
    } else if (what < 70) {
        if (s.circleCur == s.circleTop) s.AppendCircle(x, y, rad(rng), 0, 0);
    } else if (what < 85) {
        s.DeleteLine(std::uniform_int_distribution<int>(0, s.lineTop)(rng), 0);
    } else if (what < 97) {
        s.DeleteCircle(std::uniform_int_distribution<int>(0, s.circleTop)(rng), 0);
    } else if (clears && what == 99) {
        s.ClearStore();
    }
}
