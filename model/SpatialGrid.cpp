// The free-slot bitmap and the grid over element boxes of the drawing store.
#include "model/SpatialGrid.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

#include "model/TableMemory.h"

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

void SpatialGrid::Clear() {
    cell_ = 0.0;
    perCell_ = perStep_ = 0.0;
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
    // Two mean sizes: most elements then lie in one or two cells, and a query of one
    // element looks at a cell or two of a few dozen entries each.
    double cell = mean * 2.0;
    // Small elements spread thinly (columns and fixtures over a site) would get a cell
    // each, and a cell costs more than its entries: a cell holds some eight of them at
    // least.
    const double area = (bounds_.maxX - bounds_.minX) * (bounds_.maxY - bounds_.minY);
    if (count_ > 0 && area > 0.0 && std::isfinite(area))
        cell = std::max(cell, std::sqrt(area / count_ * 8.0));
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
    perCell_ = 1.0 / cell;
    perStep_ = kSteps / cell;
}

int64_t SpatialGrid::CellOf(double v) const {
    double c = std::floor(v * perCell_);
    if (!(c > -double(kCellLimit))) return -kCellLimit;  // also NaN
    if (c > double(kCellLimit)) return kCellLimit;
    return int64_t(c);
}

SpatialGrid::Range SpatialGrid::CellsOf(const Box& b) const {
    return {CellOf(b.minX), CellOf(b.minY), CellOf(b.maxX), CellOf(b.maxY)};
}

bool SpatialGrid::IsWide(const Box& box, Range& r) const {
    if (cell_ <= 0.0) return true;
    if (!(std::isfinite(box.minX) && std::isfinite(box.minY) && std::isfinite(box.maxX) &&
          std::isfinite(box.maxY)))
        return true;
    r = CellsOf(box);
    // A box that rounding puts into a cell beyond its own still gets every cell it meets:
    // the cut to a cell is conservative.
    return (r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1) > kMaxCellsPerElement;
}

uint64_t SpatialGrid::Key(int64_t cx, int64_t cy) {
    return (uint64_t(cx + (int64_t(1) << 31)) << 32) | uint64_t(cy + (int64_t(1) << 31));
}

namespace {
// Every bit of both cell numbers reaches the low bits that pick the slot. (A product
// alone would not do: its low bits see only the low bits of the key, which put the cells
// of one row, sixteen columns apart, on one probe chain.)
size_t Hash(uint64_t key, size_t mask) {
    key ^= key >> 30;
    key *= 0xBF58476D1CE4E5B9ull;
    key ^= key >> 27;
    key *= 0x94D049BB133111EBull;
    key ^= key >> 31;
    return size_t(key) & mask;
}

// v in steps from o, rounded down (up) and one more step outwards, kept within the cell.
// A cell spans steps 1 to 254 (kSteps = 253 from its lower corner at step 1), leaving 0
// and 255 for what lies just outside it.
uint8_t StepDown(double v, double o, double perStep) {
    double q = std::floor((v - o) * perStep) - 1.0 + 1.0;
    return uint8_t(std::clamp(q, 0.0, 255.0));
}
uint8_t StepUp(double v, double o, double perStep) {
    double q = std::ceil((v - o) * perStep) + 1.0 + 1.0;
    return uint8_t(std::clamp(q, 0.0, 255.0));
}
}  // namespace

GridEntry SpatialGrid::EntryOf(int32_t id, const Box& b, int64_t cx, int64_t cy) const {
    const double ox = double(cx) * cell_, oy = double(cy) * cell_, per = perStep_;
    return {id, StepDown(b.minX, ox, per), StepDown(b.minY, oy, per), StepUp(b.maxX, ox, per),
            StepUp(b.maxY, oy, per)};
}

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
    // Every cell is written at once: its pages are made resident in one call first.
    cells_.reserve(n);
    MakeResident(cells_.data(), n * sizeof(Cell));
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

void SpatialGrid::Insert(int32_t id, const Box& box, uint8_t flags) {
    if (count_ == 0) {
        bounds_ = box;
    } else {
        bounds_.minX = std::min(bounds_.minX, box.minX);
        bounds_.minY = std::min(bounds_.minY, box.minY);
        bounds_.maxX = std::max(bounds_.maxX, box.maxX);
        bounds_.maxY = std::max(bounds_.maxY, box.maxY);
    }
    ++count_;
    const double size = std::max(box.maxX - box.minX, box.maxY - box.minY);
    if (std::isfinite(size)) sizeSum_ += size;
    Range r;
    if (uint32_t(id) > kIdMask || IsWide(box, r)) {
        wide_.push_back({Down(box.minX), Down(box.minY), Up(box.maxX), Up(box.maxY), id});
        return;
    }
    const int32_t marked = int32_t(uint32_t(id) | (uint32_t(flags & 3) << kFlagShift));
    for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y) {
            std::vector<GridEntry>& v = Get(x, y);
            // Growth by half keeps the slack of many small lists low.
            if (v.size() == v.capacity()) v.reserve(v.size() + v.size() / 2 + 4);
            v.push_back(EntryOf(marked, box, x, y));
        }
}

void SpatialGrid::Remove(int32_t id, const Box& box) {
    bool found = false;
    Range r;
    if (uint32_t(id) > kIdMask || IsWide(box, r)) {
        for (size_t i = 0; i < wide_.size(); ++i)
            if (wide_[i].id == id) {
                wide_[i] = wide_.back();
                wide_.pop_back();
                found = true;
                break;
            }
    } else {
        for (int64_t x = r.x0; x <= r.x1; ++x)
            for (int64_t y = r.y0; y <= r.y1; ++y) {
                std::vector<GridEntry>* v = Find(x, y);
                if (!v) continue;
                for (size_t i = 0; i < v->size(); ++i)
                    if ((uint32_t((*v)[i].id) & kIdMask) == uint32_t(id)) {
                        (*v)[i] = v->back();
                        v->pop_back();
                        found = true;
                        break;
                    }
            }
    }
    if (!found) return;
    --count_;
    const double size = std::max(box.maxX - box.minX, box.maxY - box.minY);
    if (std::isfinite(size)) sizeSum_ -= size;
}

void SpatialGrid::Query(const Box& box, std::vector<int32_t>& out, uint8_t skip) const {
    for (const WideEntry& e : wide_)
        if (e.minX <= box.maxX && e.maxX >= box.minX && e.minY <= box.maxY && e.maxY >= box.minY)
            out.push_back(e.id);
    if (cell_ <= 0.0 || extent_.x0 > extent_.x1) return;
    Range r = CellsOf(box);
    r.x0 = std::max(r.x0, extent_.x0);
    r.y0 = std::max(r.y0, extent_.y0);
    r.x1 = std::min(r.x1, extent_.x1);
    r.y1 = std::min(r.y1, extent_.y1);
    if (r.x0 > r.x1 || r.y0 > r.y1) return;
    const double per = perStep_;
    auto scan = [&](int64_t cx, int64_t cy, const std::vector<GridEntry>& v) {
        const double ox = double(cx) * cell_, oy = double(cy) * cell_;
        // The query box in the cell's steps, rounded outwards; beyond the cell it is cut to
        // just outside it, which every entry lies within.
        const double qx0 = std::clamp(std::floor((box.minX - ox) * per) - 1.0 + 1.0, -1.0, 256.0);
        const double qy0 = std::clamp(std::floor((box.minY - oy) * per) - 1.0 + 1.0, -1.0, 256.0);
        const double qx1 = std::clamp(std::ceil((box.maxX - ox) * per) + 1.0 + 1.0, -1.0, 256.0);
        const double qy1 = std::clamp(std::ceil((box.maxY - oy) * per) + 1.0 + 1.0, -1.0, 256.0);
        const int32_t ax0 = int32_t(qx0), ay0 = int32_t(qy0), ax1 = int32_t(qx1),
                      ay1 = int32_t(qy1);
        const uint32_t skipMask = uint32_t(skip & 3) << kFlagShift;
        // Every entry is written and the end moves on only past those that meet the box:
        // about one in ten does, and a branch on each would be mispredicted as often.
        const size_t from = out.size();
        out.resize(from + v.size());
        int32_t* o = out.data() + from;
        for (const GridEntry& e : v) {
            const uint32_t id = uint32_t(e.id);
            *o = int32_t(id & kIdMask);
            o += int((e.x0 <= ax1) & (e.x1 >= ax0) & (e.y0 <= ay1) & (e.y1 >= ay0) &
                     ((id & skipMask) == 0));
        }
        out.resize(size_t(o - out.data()));
    };
    const int64_t n = (r.x1 - r.x0 + 1) * (r.y1 - r.y0 + 1);
    if (n > int64_t(used_) * 2) {
        // Walking the occupied cells is cheaper than enumerating the query's cells.
        for (const Cell& c : cells_) {
            if (c.key == kNoKey) continue;
            int64_t cx = int64_t(c.key >> 32) - (int64_t(1) << 31);
            int64_t cy = int64_t(c.key & 0xFFFFFFFFu) - (int64_t(1) << 31);
            if (cx < r.x0 || cx > r.x1 || cy < r.y0 || cy > r.y1) continue;
            scan(cx, cy, c.entries);
        }
        return;
    }
    if (n <= 16) {
        // A query of one element meets a few cells: their lists are asked for together.
        struct Found {
            int64_t x, y;
            const std::vector<GridEntry>* v;
        } found[16];
        int m = 0;
        for (int64_t x = r.x0; x <= r.x1; ++x)
            for (int64_t y = r.y0; y <= r.y1; ++y)
                if (const auto* v = Find(x, y)) {
                    __builtin_prefetch(v->data());
                    __builtin_prefetch(reinterpret_cast<const char*>(v->data()) + 64);
                    found[m++] = {x, y, v};
                }
        for (int i = 0; i < m; ++i) scan(found[i].x, found[i].y, *found[i].v);
        return;
    }
    for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y)
            if (const auto* v = Find(x, y)) scan(x, y, *v);
}

double SpatialGrid::RingReach(double x, double y, int64_t k) const {
    if (k <= 0 || cell_ <= 0.0) return 0.0;
    // Ring k lies k - 1 whole cells beyond the edge of the query point's own cell that is
    // nearest the point.
    const double gx = x * perCell_, gy = y * perCell_;  // as CellOf places them
    double edge = 0.0;
    if (std::fabs(gx) < double(kCellLimit) && std::fabs(gy) < double(kCellLimit)) {
        const double fx = gx - std::floor(gx), fy = gy - std::floor(gy);
        edge = std::max(0.0, std::min(std::min(fx, 1.0 - fx), std::min(fy, 1.0 - fy)));
    }
    return (double(k - 1) + edge) * cell_ * (1.0 - 1e-9);
}
