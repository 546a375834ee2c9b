// The free-slot bitmap and the grid over element boxes of the drawing store.
#include "core/SpatialGrid.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

void FreeSlots::Clear() {
    bits_.clear();
    bits_.shrink_to_fit();
    summary_.clear();
    summary_.shrink_to_fit();
    lowWord_ = 0;
    free_ = 0;
}

void FreeSlots::AllFree(int32_t count) {
    Clear();
    if (count <= 0) return;
    size_t words = (size_t(count) + 63) >> 6;
    bits_.assign(words, ~uint64_t(0));
    if (count & 63) bits_.back() = (uint64_t(1) << (count & 63)) - 1;
    summary_.assign((words + 63) >> 6, 0);
    for (size_t w = 0; w < words; ++w) summary_[w >> 6] |= uint64_t(1) << (w & 63);
    free_ = size_t(count);
}

void FreeSlots::Set(int32_t slot, bool free) {
    size_t w = size_t(slot) >> 6;
    if (w >= bits_.size()) {
        if (!free) return;
        bits_.resize(std::max(w + 1, bits_.size() * 2), 0);
        summary_.resize((bits_.size() + 63) >> 6, 0);
    }
    uint64_t mask = uint64_t(1) << (slot & 63);
    if (bool(bits_[w] & mask) == free) return;
    if (free) {
        bits_[w] |= mask;
        ++free_;
        if (w < lowWord_) lowWord_ = w;
    } else {
        bits_[w] &= ~mask;
        --free_;
    }
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
    // A table filling from the top has no free slot at all between its additions.
    if (free_ == 0) return -1;
    for (size_t s = lowWord_ >> 6; s < summary_.size(); ++s) {
        uint64_t m = summary_[s];
        if (s == (lowWord_ >> 6)) m &= ~uint64_t(0) << (lowWord_ & 63);
        if (!m) continue;
        size_t w = (s << 6) + size_t(std::countr_zero(m));
        lowWord_ = w;
        int32_t slot = int32_t((w << 6) + size_t(std::countr_zero(bits_[w])));
        return slot <= limit ? slot : -1;
    }
    lowWord_ = summary_.size() << 6;
    return -1;
}

namespace {
constexpr int64_t kCellLimit = int64_t(1) << 30;  // clamping keeps cell numbers monotone
constexpr int64_t kMaxCellsPerElement = 64;
constexpr uint64_t kNoKey = ~uint64_t(0);

float Down(double v) {
    float f = float(v);
    if (double(f) > v) f = std::nextafter(f, -INFINITY);
    return f;
}

float Up(double v) {
    float f = float(v);
    if (double(f) < v) f = std::nextafter(f, INFINITY);
    return f;
}
}  // namespace

GridEntry SpatialGrid::EntryOf(int32_t id, const Box& b) {
    return {Down(b.minX), Down(b.minY), Up(b.maxX), Up(b.maxY), id};
}

void SpatialGrid::Clear() {
    cell_ = 0.0;
    cells_.clear();
    cells_.shrink_to_fit();
    used_ = 0;
    wide_.clear();
    wide_.shrink_to_fit();
    extent_ = {0, 0, -1, -1};
    count_ = 0;
    nextRebuild_ = 256;
    sizeSum_ = 0.0;
}

double SpatialGrid::CellForRebuild() const {
    double mean = count_ > 0 ? sizeSum_ / count_ : 0.0;
    // Two mean sizes: most elements then fit one cell, and a query of one element looks
    // at a few cells of a few dozen entries each.
    double cell = mean * 2.0;
    if (!(cell > 0.0) || !std::isfinite(cell)) cell = 1.0;
    return cell;
}

void SpatialGrid::ResetCells(double cell) {
    cells_.clear();
    cells_.shrink_to_fit();
    used_ = 0;
    wide_.clear();
    extent_ = {0, 0, -1, -1};
    count_ = 0;
    sizeSum_ = 0.0;
    cell_ = cell;
}

int64_t SpatialGrid::CellOf(double v) const {
    double c = std::floor(v / cell_);
    if (!(c > -double(kCellLimit))) return -kCellLimit;  // also NaN
    if (c > double(kCellLimit)) return kCellLimit;
    return int64_t(c);
}

SpatialGrid::Range SpatialGrid::CellsOf(const Box& b) const {
    return {CellOf(b.minX), CellOf(b.minY), CellOf(b.maxX), CellOf(b.maxY)};
}

uint64_t SpatialGrid::Key(int64_t cx, int64_t cy) {
    return (uint64_t(cx + (int64_t(1) << 31)) << 32) | uint64_t(cy + (int64_t(1) << 31));
}

namespace {
size_t Hash(uint64_t key, size_t mask) {
    return size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;
}
}  // namespace

std::vector<GridEntry>* SpatialGrid::Find(int64_t cx, int64_t cy) {
    return const_cast<std::vector<GridEntry>*>(std::as_const(*this).Find(cx, cy));
}

const std::vector<GridEntry>* SpatialGrid::Find(int64_t cx, int64_t cy) const {
    if (cells_.empty()) return nullptr;
    const uint64_t key = Key(cx, cy);
    const size_t mask = cells_.size() - 1;
    for (size_t h = Hash(key, mask);; h = (h + 1) & mask) {
        if (cells_[h].key == key) return &cells_[h].entries;
        if (cells_[h].key == kNoKey) return nullptr;
    }
}

void SpatialGrid::Grow() {
    std::vector<Cell> old;
    old.swap(cells_);
    size_t n = old.empty() ? 1024 : old.size() * 2;
    cells_.resize(n);
    for (Cell& c : cells_) c.key = kNoKey;
    const size_t mask = n - 1;
    for (Cell& c : old) {
        if (c.key == kNoKey) continue;
        size_t h = Hash(c.key, mask);
        while (cells_[h].key != kNoKey) h = (h + 1) & mask;
        cells_[h].key = c.key;
        cells_[h].entries = std::move(c.entries);
    }
}

std::vector<GridEntry>& SpatialGrid::Get(int64_t cx, int64_t cy) {
    if ((used_ + 1) * 2 > cells_.size()) Grow();
    const uint64_t key = Key(cx, cy);
    const size_t mask = cells_.size() - 1;
    size_t h = Hash(key, mask);
    while (cells_[h].key != key) {
        if (cells_[h].key == kNoKey) {
            cells_[h].key = key;
            ++used_;
            break;
        }
        h = (h + 1) & mask;
    }
    if (extent_.x0 > extent_.x1) {
        extent_ = {cx, cy, cx, cy};
    } else {
        extent_.x0 = std::min(extent_.x0, cx);
        extent_.y0 = std::min(extent_.y0, cy);
        extent_.x1 = std::max(extent_.x1, cx);
        extent_.y1 = std::max(extent_.y1, cy);
    }
    return cells_[h].entries;
}

void SpatialGrid::Insert(int32_t id, const Box& box) {
    if (count_ == 0) {
        bounds_ = box;
    } else {
        bounds_.minX = std::min(bounds_.minX, box.minX);
        bounds_.minY = std::min(bounds_.minY, box.minY);
        bounds_.maxX = std::max(bounds_.maxX, box.maxX);
        bounds_.maxY = std::max(bounds_.maxY, box.maxY);
    }
    ++count_;
    const double w = box.maxX - box.minX, h = box.maxY - box.minY;
    const double size = std::max(w, h);
    if (std::isfinite(size)) sizeSum_ += size;
    const GridEntry e = EntryOf(id, box);
    if (cell_ <= 0.0 || !std::isfinite(size)) {
        wide_.push_back(e);
        return;
    }
    if (w <= cell_ && h <= cell_) {
        Get(CellOf((box.minX + box.maxX) * 0.5), CellOf((box.minY + box.maxY) * 0.5)).push_back(e);
        return;
    }
    Range r = CellsOf(box);
    if ((r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1) > kMaxCellsPerElement) {
        wide_.push_back(e);
        return;
    }
    for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y) Get(x, y).push_back(e);
}

void SpatialGrid::Remove(int32_t id, const Box& box) {
    auto drop = [id](std::vector<GridEntry>* v) {
        if (!v) return false;
        for (size_t i = 0; i < v->size(); ++i)
            if ((*v)[i].id == id) {
                (*v)[i] = v->back();
                v->pop_back();
                return true;
            }
        return false;
    };
    const double w = box.maxX - box.minX, h = box.maxY - box.minY;
    const double size = std::max(w, h);
    bool found = false;
    if (cell_ <= 0.0 || !std::isfinite(size)) {
        found = drop(&wide_);
    } else if (w <= cell_ && h <= cell_) {
        found = drop(Find(CellOf((box.minX + box.maxX) * 0.5), CellOf((box.minY + box.maxY) * 0.5)));
    } else {
        Range r = CellsOf(box);
        if ((r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1) > kMaxCellsPerElement) {
            found = drop(&wide_);
        } else {
            for (int64_t x = r.x0; x <= r.x1; ++x)
                for (int64_t y = r.y0; y <= r.y1; ++y) found = drop(Find(x, y)) || found;
        }
    }
    if (!found) return;
    --count_;
    if (std::isfinite(size)) sizeSum_ -= size;
}

namespace {
inline bool Meets(const GridEntry& e, const Box& q) {
    return e.minX <= q.maxX && e.maxX >= q.minX && e.minY <= q.maxY && e.maxY >= q.minY;
}
}  // namespace

bool SpatialGrid::Query(const Box& box, std::vector<int32_t>& out) const {
    for (const GridEntry& e : wide_)
        if (Meets(e, box)) out.push_back(e.id);
    if (cell_ <= 0.0 || extent_.x0 > extent_.x1) return true;
    // An element that lives in one cell reaches at most half a cell beyond it.
    const double half = cell_ * 0.5 * (1.0 + 1e-9);
    const double slackX = 1e-12 * (std::fabs(box.minX) + std::fabs(box.maxX));
    const double slackY = 1e-12 * (std::fabs(box.minY) + std::fabs(box.maxY));
    Range r{CellOf(box.minX - half - slackX), CellOf(box.minY - half - slackY),
            CellOf(box.maxX + half + slackX), CellOf(box.maxY + half + slackY)};
    r.x0 = std::max(r.x0, extent_.x0);
    r.y0 = std::max(r.y0, extent_.y0);
    r.x1 = std::min(r.x1, extent_.x1);
    r.y1 = std::min(r.y1, extent_.y1);
    if (r.x0 > r.x1 || r.y0 > r.y1) return true;
    const int64_t n = (r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1);
    if (n > int64_t(used_) * 2) {
        // Walking the occupied cells is cheaper than enumerating the query's cells.
        for (const Cell& c : cells_) {
            if (c.key == kNoKey) continue;
            int64_t cx = int64_t(c.key >> 32) - (int64_t(1) << 31);
            int64_t cy = int64_t(c.key & 0xFFFFFFFFu) - (int64_t(1) << 31);
            if (cx < r.x0 || cx > r.x1 || cy < r.y0 || cy > r.y1) continue;
            for (const GridEntry& e : c.entries)
                if (Meets(e, box)) out.push_back(e.id);
        }
        return true;
    }
    for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y)
            if (const auto* v = Find(x, y))
                for (const GridEntry& e : *v)
                    if (Meets(e, box)) out.push_back(e.id);
    return true;
}

double SpatialGrid::RingReach(int64_t k) const {
    if (k <= 1 || cell_ <= 0.0) return 0.0;
    return (double(k) - 1.5) * cell_ * (1.0 - 1e-9);
}
