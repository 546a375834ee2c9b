// The nearest searches of the element grid and the point grid (templates of SpatialGrid.h).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "model/SpatialGrid.h"

inline int64_t SpatialGrid::FirstRing(double x, double y) const {
    if (cell_ <= 0.0 || extent_.x0 > extent_.x1) return 1;
    const int64_t cx = CellOf(x), cy = CellOf(y);
    int64_t dx = cx < extent_.x0 ? extent_.x0 - cx : (cx > extent_.x1 ? cx - extent_.x1 : 0);
    int64_t dy = cy < extent_.y0 ? extent_.y0 - cy : (cy > extent_.y1 ? cy - extent_.y1 : 0);
    return std::max<int64_t>(1, std::max(dx, dy));
}

template <class Visit>
bool SpatialGrid::VisitRing(double x, double y, int64_t k, Visit visit) const {
    auto cellAt = [&](int64_t cx, int64_t cy) {
        if (const auto* v = Find(cx, cy))
            for (const GridEntry& e : *v) visit(int32_t(uint32_t(e.id) & kIdMask), BoxOf(e, cx, cy));
    };
    if (k == 0) {
        for (const WideEntry& e : wide_)
            visit(e.id, Box{double(e.minX), double(e.minY), double(e.maxX), double(e.maxY)});
        if (cell_ <= 0.0 || extent_.x0 > extent_.x1) return false;
        cellAt(CellOf(x), CellOf(y));
        return true;
    }
    if (cell_ <= 0.0 || extent_.x0 > extent_.x1) return false;
    const int64_t cx = CellOf(x), cy = CellOf(y);
    // Rings 0 to k - 1 covered every cell that holds anything: nothing is left.
    if (cx - (k - 1) <= extent_.x0 && cx + (k - 1) >= extent_.x1 && cy - (k - 1) <= extent_.y0 &&
        cy + (k - 1) >= extent_.y1)
        return false;
    const int64_t xa = std::max(cx - k, extent_.x0), xb = std::min(cx + k, extent_.x1);
    for (int64_t row : {cy - k, cy + k}) {
        if (row < extent_.y0 || row > extent_.y1) continue;
        for (int64_t x0 = xa; x0 <= xb; ++x0) cellAt(x0, row);
    }
    const int64_t ya = std::max(cy - k + 1, extent_.y0), yb = std::min(cy + k - 1, extent_.y1);
    for (int64_t col : {cx - k, cx + k}) {
        if (col < extent_.x0 || col > extent_.x1) continue;
        for (int64_t y0 = ya; y0 <= yb; ++y0) cellAt(col, y0);
    }
    return true;
}

inline void PointGrid::Clear() {
    valid_ = false;
    builtTop_ = -1;
    builtCount_ = 0;
    nx_ = ny_ = 0;
    start_.clear();
    start_.shrink_to_fit();
    slots_.clear();
    slots_.shrink_to_fit();
    dirty_.clear();
    dirty_.shrink_to_fit();
}

inline bool PointGrid::NeedsBuild(int32_t top) const {
    if (!valid_) return true;
    const int64_t changes = int64_t(dirty_.size()) + std::max<int64_t>(0, int64_t(top) - builtTop_);
    return changes > 4096 + builtCount_ / 8;
}

template <class PointAt>
void PointGrid::Build(int32_t top, PointAt point) {
    Clear();
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    int64_t count = 0;
    for (int32_t i = 0; i <= top; ++i) {
        const auto& p = point(i);
        // A point with a coordinate that is not finite is never caught (its squared
        // distance never falls below the threshold), so it needs no cell.
        if (p.kind == 0 || !std::isfinite(p.x) || !std::isfinite(p.y)) continue;
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
        ++count;
    }
    valid_ = true;
    builtTop_ = top;
    builtCount_ = int32_t(count);
    if (count == 0) return;
    const double w = maxX - minX, h = maxY - minY;
    // Some thirty points a cell: the counters stay small enough for the cache while the
    // grid is built, and a search reads a few hundred points at most.
    const double cells = std::max<double>(1.0, double(count) / 32.0);
    double side = std::sqrt(w * h / cells);
    if (!(side > 0.0)) side = std::max(w, h) / cells;
    if (!(side > 0.0) || !std::isfinite(side) || !std::isfinite(w) || !std::isfinite(h)) {
        side = 0.0;  // one cell
        nx_ = ny_ = 1;
    } else {
        for (;;) {
            nx_ = int64_t(std::floor(w / side)) + 1;
            ny_ = int64_t(std::floor(h / side)) + 1;
            if (nx_ * ny_ <= count / 8 + 16) break;
            side *= 1.5;
        }
    }
    originX_ = minX;
    originY_ = minY;
    side_ = side;
    auto cellOf = [&](double x, double y) -> int64_t {
        if (side_ == 0.0) return 0;
        int64_t cx = std::clamp<int64_t>(int64_t(std::floor((x - originX_) / side_)), 0, nx_ - 1);
        int64_t cy = std::clamp<int64_t>(int64_t(std::floor((y - originY_) / side_)), 0, ny_ - 1);
        return cy * nx_ + cx;
    };
    start_.assign(size_t(nx_ * ny_ + 1), 0);
    for (int32_t i = 0; i <= top; ++i) {
        const auto& p = point(i);
        if (p.kind == 0 || !std::isfinite(p.x) || !std::isfinite(p.y)) continue;
        ++start_[size_t(cellOf(p.x, p.y)) + 1];
    }
    for (size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    width_ = top < (1 << 24) ? 3 : 4;
    slots_.assign(size_t(count) * width_ + 4, 0);
    // Each cell's counter runs from its start to its end as the cell fills, which leaves
    // every counter at the next cell's start: one step back restores them.
    for (int32_t i = 0; i <= top; ++i) {
        const auto& p = point(i);
        if (p.kind == 0 || !std::isfinite(p.x) || !std::isfinite(p.y)) continue;
        SetSlot(start_[size_t(cellOf(p.x, p.y))]++, i);
    }
    for (size_t c = start_.size() - 1; c > 0; --c) start_[c] = start_[c - 1];
    start_[0] = 0;
}

template <class PointAt>
int32_t PointGrid::Nearest(double x, double y, double t, int32_t top, PointAt point) const {
    int32_t best = -1;
    double bestD = t;
    auto consider = [&](int32_t i) {
        if (i > top) return;
        const auto& p = point(i);
        if (p.kind == 0) return;
        const double d2 = (x - p.x) * (x - p.x) + (y - p.y) * (y - p.y);
        if (d2 < bestD || (d2 == bestD && best != -1 && i < best)) {
            best = i;
            bestD = d2;
        }
    };
    for (int32_t i : dirty_) consider(i);
    for (int32_t i = builtTop_ + 1; i <= top; ++i) consider(i);
    if (nx_ == 0 || !std::isfinite(x) || !std::isfinite(y)) return best;
    auto visit = [&](int64_t cx, int64_t cy) {
        const size_t c = size_t(cy * nx_ + cx);
        for (uint32_t s = start_[c], e = start_[c + 1]; s < e; ++s) consider(SlotAt(s));
    };
    if (side_ == 0.0) {
        visit(0, 0);
        return best;
    }
    const double fx = std::floor((x - originX_) / side_), fy = std::floor((y - originY_) / side_);
    const double limit = double(int64_t(1) << 40);
    const int64_t cx = int64_t(std::clamp(fx, -limit, limit));
    const int64_t cy = int64_t(std::clamp(fy, -limit, limit));
    // Rounding of the cell numbers: far less than this from a cell's edge.
    const double slack =
        1e-9 * (std::fabs(x) + std::fabs(y) + std::fabs(originX_) + std::fabs(originY_) + side_);
    int64_t dx = cx < 0 ? -cx : (cx >= nx_ ? cx - (nx_ - 1) : 0);
    int64_t dy = cy < 0 ? -cy : (cy >= ny_ ? cy - (ny_ - 1) : 0);
    for (int64_t k = std::max(dx, dy);; ++k) {
        // Every point in ring k lies at least k - 1 cells away.
        const double reach = double(k - 1) * side_ - slack;
        if (reach > 0.0 && reach * reach > bestD) break;
        if (cx - (k - 1) <= 0 && cx + (k - 1) >= nx_ - 1 && cy - (k - 1) <= 0 &&
            cy + (k - 1) >= ny_ - 1 && k > 0)
            break;
        if (k == 0) {
            visit(cx, cy);
            continue;
        }
        const int64_t xa = std::max<int64_t>(cx - k, 0), xb = std::min<int64_t>(cx + k, nx_ - 1);
        for (int64_t row : {cy - k, cy + k}) {
            if (row < 0 || row >= ny_) continue;
            for (int64_t x0 = xa; x0 <= xb; ++x0) visit(x0, row);
        }
        const int64_t ya = std::max<int64_t>(cy - k + 1, 0),
                      yb = std::min<int64_t>(cy + k - 1, ny_ - 1);
        for (int64_t col : {cx - k, cx + k}) {
            if (col < 0 || col >= nx_) continue;
            for (int64_t y0 = ya; y0 <= yb; ++y0) visit(col, y0);
        }
    }
    return best;
}
