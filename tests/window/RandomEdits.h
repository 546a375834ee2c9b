// Random edits of a main window's drawing as a user makes them, for the convergence tests: the
// same seed gives the same choices on a drawing in the same state.
#pragma once

#include <random>
#include <vector>

#include "edit/EditCommands.h"
#include "edit/LinesToArcs.h"
#include "window/TForm1.h"

namespace randomedits {

inline std::vector<int32_t> AliveLines(const DrawingStore& s) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i <= s.lineTop; ++i)
        if (s.line(i).alive) v.push_back(i);
    return v;
}

inline std::vector<int32_t> AliveCircles(const DrawingStore& s) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i <= s.circleTop; ++i)
        if (s.circle(i).alive) v.push_back(i);
    return v;
}

// One edit: an addition, a delete, trim, fillet, chamfer, offset, split, undo, redo or
// lines-to-arcs, on elements chosen at random. Points lie on a coarse grid so that lines meet.
inline void RandomEdit(TForm1& f, std::mt19937& rng) {
    DrawingStore& s = f.store;
    auto coord = [&] { return double(std::uniform_int_distribution<int>(0, 20)(rng) * 5); };
    auto pick = [&](const std::vector<int32_t>& v) {
        return v[std::uniform_int_distribution<size_t>(0, v.size() - 1)(rng)];
    };
    auto mid = [&](int32_t i, double& x, double& y) {
        x = (s.line(i).x1 + s.line(i).x2) / 2;
        y = (s.line(i).y1 + s.line(i).y2) / 2;
    };
    const std::vector<int32_t> lines = AliveLines(s), circles = AliveCircles(s);
    const int op = std::uniform_int_distribution<int>(0, 12)(rng);
    s.pickedLine = s.pickedCircle = -1;
    if (op <= 2 || lines.size() < 2) {
        s.AddLine(coord(), coord(), coord(), coord(), 1);
    } else if (op == 3) {
        const double a = std::uniform_int_distribution<int>(0, 7)(rng) * 45.0;
        const double b = std::uniform_int_distribution<int>(0, 1)(rng) ? a : a + 90.0;
        s.AddCircle(coord(), coord(), 5.0 + coord() / 5, a, b, 1);
    } else if (op == 4) {
        if (!circles.empty() && std::uniform_int_distribution<int>(0, 2)(rng) == 0)
            s.pickedCircle = pick(circles);
        else
            s.pickedLine = pick(lines);
        EditDelete(s);
    } else if (op <= 7) {
        const int32_t a = pick(lines);
        int32_t b = pick(lines);
        if (a == b) return;
        double ax, ay, bx, by;
        mid(a, ax, ay);
        mid(b, bx, by);
        if (op == 5) EditTrimToCorner(s, a, b, ax, ay, bx, by);
        if (op == 6) EditFillet(s, a, b, ax, ay, bx, by, 2.0 + coord() / 10);
        if (op == 7) EditChamfer(s, a, b, ax, ay, bx, by, 1.0 + coord() / 20);
    } else if (op == 8) {
        s.pickedLine = pick(lines);
        double x, y;
        mid(s.pickedLine, x, y);
        EditOffset(s, x + 1, y + 1, 3.0);
    } else if (op == 9) {
        s.pickedLine = pick(lines);
        const LineElement& l = s.line(s.pickedLine);
        EditSplit(s, (2 * l.x1 + l.x2) / 3, (2 * l.y1 + l.y2) / 3);
    } else if (op == 10) {
        f.Undo1Click();
    } else if (op == 11) {
        f.Redo1Click();
    } else {
        LinesToArcs(s, f.ArcAngleMin, f.ArcAngleMax);
    }
    s.pickedLine = s.pickedCircle = -1;
}

}  // namespace randomedits
