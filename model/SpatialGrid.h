// Helpers of the drawing store: the free-slot bitmap and the grid over element boxes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// The set of free slots of one table, answering "lowest free slot" without a scan of the
// table: one bit per slot, one summary bit per 64 slots, and a mark below which no slot
// is free, so that a table filling from the top finds its next slot at once.
class FreeSlots {
public:
    void Clear();
    // Slots 0 to count - 1 free, every other slot taken.
    void AllFree(int32_t count);
    void Set(int32_t slot, bool free);
    bool IsFree(int32_t slot) const;
    bool AnyFree() const { return free_ != 0; }
    // Lowest free slot in 0..limit, or -1.
    int32_t Lowest(int32_t limit) const;

private:
    std::vector<uint64_t> bits_;
    std::vector<uint64_t> summary_;
    mutable size_t lowWord_ = 0;  // no word below this one has a free slot
    size_t free_ = 0;             // free slots in all
};

struct Box {
    double minX, minY, maxX, maxY;
};

// One element in one cell (its slot, and flags in the top two bits): its box, cut to the cell, in steps of 1/253 of the cell from the
// cell's lower corner, rounded outwards by a step, so that a test against it never rejects
// what the exact box would accept. Eight bytes: a large drawing has millions of entries.
struct GridEntry {
    int32_t id;
    uint8_t x0, y0, x1, y1;
};
// An element too large for the cells, with its box rounded outwards to floats.
struct WideEntry {
    float minX, minY, maxX, maxY;
    int32_t id;
};

// A uniform grid over element boxes: an element lives in every cell its box covers, and
// one that would cover too many cells in a list that every query returns. The cell size
// follows the elements' typical size: the owner rebuilds the grid (Rebuild) as the drawing
// grows fourfold, so that a floor plan of short walls and a site plan of long roads both
// stay fast. A query returns a superset of the elements whose boxes meet the query box;
// callers test each candidate exactly, so results never depend on the grid.
class SpatialGrid {
public:
    void Clear();  // empty, with its memory returned
    // flags (two bits) mark the element for queries that can leave such elements out:
    // the store marks horizontal and vertical lines, which never cross one of their own.
    void Insert(int32_t id, const Box& box, uint8_t flags = 0);
    void Remove(int32_t id, const Box& box);
    // True when the owner should call Rebuild.
    bool WantsRebuild() const { return count_ >= nextRebuild_; }
    // Picks the cell size from the elements' mean size; unless the cells have about that
    // size already, empties the grid and takes every element again from forEach(insert),
    // which calls insert(id, box) once per element. Cells within a quarter of the size
    // they would have now serve as well, and are kept with their elements: a drawing of
    // even elements keeps its cells from its first thousand elements on, rather than
    // putting all of them in again at every fourfold growth (a third more insertions while
    // a large file is read).
    template <class ForEach>
    void Rebuild(ForEach forEach) {
        const double cell = CellForRebuild();
        if (!(cell_ > 0.0 && cell < cell_ * kKeepCells && cell * kKeepCells > cell_)) {
            ResetCells(cell);
            forEach([this](int32_t id, const Box& box, uint8_t flags) { Insert(id, box, flags); });
        }
        nextRebuild_ = count_ * 4 > 256 ? count_ * 4 : 256;
    }
    // Appends the ids of elements whose boxes may meet `box` (unsorted, may repeat),
    // leaving out those inserted with any of the flags in `skip`.
    void Query(const Box& box, std::vector<int32_t>& out, uint8_t skip = 0) const;
    // Nearest search: calls visit(id, box) for every element in the cells of the square
    // ring k cells (Chebyshev) from the cell of (x, y), with a box that holds the part of
    // the element in that cell; the wide list goes with ring 0. Every element whose box
    // lies within RingReach(k) of (x, y) has been visited (at its nearest part) once rings
    // 0 to k have. Returns false when no ring from k on holds anything.
    template <class Visit>
    bool VisitRing(double x, double y, int64_t k, Visit visit) const;
    // Lower bound of the distance from the query point (x, y) to every cell of ring k.
    double RingReach(double x, double y, int64_t k) const;
    // The first ring after ring 0 that can hold a cell with anything in it.
    int64_t FirstRing(double x, double y) const;
    int32_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    double cell() const { return cell_; }
    // True when every box in the grid lies inside `box`.
    bool Inside(const Box& box) const {
        return count_ == 0 || (bounds_.minX >= box.minX && bounds_.maxX <= box.maxX &&
                               bounds_.minY >= box.minY && bounds_.maxY <= box.maxY);
    }

private:
    struct Range {
        int64_t x0, y0, x1, y1;
    };
    struct Cell {
        uint64_t key;
        std::vector<GridEntry> entries;
    };
    static constexpr double kSteps = 253.0;
    static constexpr double kKeepCells = 1.25;
    // An entry's id carries the flags in its top two bits.
    static constexpr int kFlagShift = 30;
    static constexpr uint32_t kIdMask = (uint32_t(1) << kFlagShift) - 1;
    double CellForRebuild() const;
    void ResetCells(double cell);
    int64_t CellOf(double v) const;
    Range CellsOf(const Box& box) const;
    bool IsWide(const Box& box, Range& r) const;
    static uint64_t Key(int64_t cx, int64_t cy);
    std::vector<GridEntry>* Find(int64_t cx, int64_t cy);
    const std::vector<GridEntry>* Find(int64_t cx, int64_t cy) const;
    std::vector<GridEntry>& Get(int64_t cx, int64_t cy);
    void Grow();
    GridEntry EntryOf(int32_t id, const Box& box, int64_t cx, int64_t cy) const;
    // The entry's box in world units (rounded outwards as stored).
    Box BoxOf(const GridEntry& e, int64_t cx, int64_t cy) const {
        const double step = cell_ / kSteps;
        const double ox = double(cx) * cell_ - step, oy = double(cy) * cell_ - step;
        return {ox + e.x0 * step, oy + e.y0 * step, ox + e.x1 * step, oy + e.y1 * step};
    }

    double cell_ = 0.0;        // 0 = no cells yet, everything in the wide list
    // 1 / cell_ and kSteps / cell_: a value's cell and its steps within a cell are found by
    // a product rather than a division, a dozen of them for every element a file adds. A
    // product by a positive number keeps the order of values, so that boxes that meet still
    // meet in cells and steps, and every box is rounded outwards by a whole step.
    double perCell_ = 0.0, perStep_ = 0.0;
    std::vector<Cell> cells_;  // open addressing, a power of two long; unused keys all ones
    size_t used_ = 0;
    std::vector<WideEntry> wide_;
    Range extent_{0, 0, -1, -1};  // cells that hold something (grows only, until a rebuild)
    Box bounds_{0, 0, 0, 0};      // of every box inserted (grows only, until a rebuild)
    int32_t count_ = 0;
    int32_t nextRebuild_ = 256;
    double sizeSum_ = 0.0;
};

// The point grid of the snap search: a packed grid (cell offsets and slot numbers) over
// the snap points, built when a search needs it. Points added after the build are kept
// in a short list (slots reused below the built top) or found as the slots above the
// built top; freed points are skipped by their kind. Past a few thousand such changes
// the next search builds the grid again.
class PointGrid {
public:
    void Clear();  // memory returned; the next search builds
    void Invalidate() { valid_ = false; }
    // A point went into `slot`.
    void Added(int32_t slot) {
        if (valid_ && slot <= builtTop_) dirty_.push_back(slot);
    }
    bool NeedsBuild(int32_t top) const;
    // Builds from the points of slots 0 to top; point(i) gives slot i's record.
    template <class PointAt>
    void Build(int32_t top, PointAt point);
    // The nearest point to (x, y) with squared distance below t, ties to the lower slot;
    // -1 if none. Slots above top are never returned.
    template <class PointAt>
    int32_t Nearest(double x, double y, double t, int32_t top, PointAt point) const;

private:
    bool valid_ = false;
    int32_t builtTop_ = -1;
    int32_t builtCount_ = 0;
    double originX_ = 0, originY_ = 0, side_ = 1;
    int64_t nx_ = 0, ny_ = 0;
    // Slot numbers of three bytes while the table is below 2^24 slots, else four: the
    // grid of six million points then costs 18 MB, not 24.
    int32_t SlotAt(uint32_t k) const {
        uint32_t v;
        std::memcpy(&v, &slots_[size_t(k) * width_], sizeof v);
        return int32_t(width_ == 4 ? v : v & 0xFFFFFFu);
    }
    void SetSlot(uint32_t k, int32_t slot) {
        const uint32_t v = uint32_t(slot);
        std::memcpy(&slots_[size_t(k) * width_], &v, width_);
    }
    std::vector<uint32_t> start_;  // nx * ny + 1 offsets into the slot numbers
    std::vector<uint8_t> slots_;   // the slot numbers, width_ bytes each, and 4 bytes spare
    size_t width_ = 4;
    std::vector<int32_t> dirty_;
};

#include "model/SpatialGridSearch.h"
