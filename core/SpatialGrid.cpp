// The free-slot bitmap and the spatial grid of the drawing store.
#include "core/SpatialGrid.h"

#include <algorithm>
#include <bit>
#include <cmath>

void FreeSlots::Clear() {
    bits_.clear();
    summary_.clear();
}

void FreeSlots::Set(int32_t slot, bool free) {
    size_t w = size_t(slot) >> 6;
    if (w >= bits_.size()) {
        if (!free) return;
        bits_.resize(std::max(w + 1, bits_.size() * 2), 0);
        summary_.resize((bits_.size() + 63) >> 6, 0);
    }
    uint64_t mask = uint64_t(1) << (slot & 63);
    if (free)
        bits_[w] |= mask;
    else
        bits_[w] &= ~mask;
    uint64_t smask = uint64_t(1) << (w & 63);
    if (bits_[w])
        summary_[w >> 6] |= smask;
    else
        summary_[w >> 6] &= ~smask;
}

bool FreeSlots::IsFree(int32_t slot) const {
    size_t w = size_t(slot) >> 6;
    return w < bits_.size() && (bits_[w] >> (slot & 63) & 1);
}

int32_t FreeSlots::Lowest(int32_t limit) const {
    for (size_t s = 0; s < summary_.size(); ++s) {
        if (!summary_[s]) continue;
        size_t w = (s << 6) + size_t(std::countr_zero(summary_[s]));
        int32_t slot = int32_t((w << 6) + size_t(std::countr_zero(bits_[w])));
        return slot <= limit ? slot : -1;
    }
    return -1;
}

namespace {
constexpr int64_t kCellLimit = int64_t(1) << 30;  // clamping keeps cell numbers monotone
constexpr int64_t kMaxCellsPerElement = 64;
constexpr int64_t kMaxCellsPerQuery = 4096;

int64_t CellOf(double v, double cell) {
    double c = std::floor(v / cell);
    if (!(c > -double(kCellLimit))) return -kCellLimit;  // also NaN
    if (c > double(kCellLimit)) return kCellLimit;
    return int64_t(c);
}
}  // namespace

void SpatialGrid::Clear() {
    cell_ = 0.0;
    cells_.clear();
    wide_.clear();
    boxes_.clear();
    count_ = 0;
    nextRebuild_ = 256;
    sizeSum_ = 0.0;
}

SpatialGrid::Range SpatialGrid::CellsOf(const Box& b) const {
    return {CellOf(b.minX, cell_), CellOf(b.minY, cell_), CellOf(b.maxX, cell_),
            CellOf(b.maxY, cell_)};
}

uint64_t SpatialGrid::Key(int64_t cx, int64_t cy) {
    return (uint64_t(uint32_t(int32_t(cx))) << 32) | uint32_t(int32_t(cy));
}

void SpatialGrid::Place(int32_t id, const Box& box) {
    if (cell_ <= 0.0) {
        wide_.push_back(id);
        return;
    }
    Range r = CellsOf(box);
    if ((r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1) > kMaxCellsPerElement) {
        wide_.push_back(id);
        return;
    }
    for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y) cells_[Key(x, y)].push_back(id);
}

void SpatialGrid::Insert(int32_t id, const Box& box) {
    boxes_[id] = box;
    ++count_;
    double size = std::max(box.maxX - box.minX, box.maxY - box.minY);
    if (std::isfinite(size)) sizeSum_ += size;
    Place(id, box);
    if (count_ >= nextRebuild_) {
        nextRebuild_ = count_ * 4;
        Rebuild();
    }
}

void SpatialGrid::Remove(int32_t id, const Box& box) {
    auto it = boxes_.find(id);
    if (it == boxes_.end()) return;
    boxes_.erase(it);
    --count_;
    double size = std::max(box.maxX - box.minX, box.maxY - box.minY);
    if (std::isfinite(size)) sizeSum_ -= size;
    auto drop = [id](std::vector<int32_t>& v) {
        auto p = std::find(v.begin(), v.end(), id);
        if (p == v.end()) return false;
        *p = v.back();
        v.pop_back();
        return true;
    };
    if (drop(wide_)) return;
    Range r = CellsOf(box);
    for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y) {
            auto c = cells_.find(Key(x, y));
            if (c != cells_.end()) {
                drop(c->second);
                if (c->second.empty()) cells_.erase(c);
            }
        }
}

void SpatialGrid::Rebuild() {
    double mean = count_ > 0 ? sizeSum_ / count_ : 0.0;
    double cell = mean * 2.0;
    if (!(cell > 0.0) || !std::isfinite(cell)) cell = 1.0;
    cell_ = cell;
    cells_.clear();
    wide_.clear();
    cells_.reserve(size_t(count_) * 2);
    for (const auto& [id, box] : boxes_) Place(id, box);
    // Slot order inside the lists does not matter: queries are sorted by the caller.
}

bool SpatialGrid::Query(const Box& box, std::vector<int32_t>& out) const {
    out.insert(out.end(), wide_.begin(), wide_.end());
    if (cell_ <= 0.0) return true;
    Range r = CellsOf(box);
    int64_t n = (r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1);
    if (n > kMaxCellsPerQuery || n > int64_t(cells_.size()) * 4 + 16) {
        // Walking the occupied cells is cheaper than enumerating the query's cells.
        if (n > kMaxCellsPerQuery * 16 && cells_.size() > size_t(kMaxCellsPerQuery)) return false;
        for (const auto& [key, ids] : cells_) {
            int64_t cx = int32_t(uint32_t(key >> 32));
            int64_t cy = int32_t(uint32_t(key));
            if (cx >= r.x0 && cx <= r.x1 && cy >= r.y0 && cy <= r.y1)
                out.insert(out.end(), ids.begin(), ids.end());
        }
        return true;
    }
    for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y) {
            auto c = cells_.find(Key(x, y));
            if (c != cells_.end()) out.insert(out.end(), c->second.begin(), c->second.end());
        }
    return true;
}
