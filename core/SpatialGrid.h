// Helpers of the drawing store: the free-slot bitmap and the grid that finds intersection candidates.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

// The set of free slots of one table, answering "lowest free slot" without a scan of the
// table: one bit per slot, and one summary bit per 64 slots.
class FreeSlots {
public:
    void Clear();
    void Set(int32_t slot, bool free);
    bool IsFree(int32_t slot) const;
    // Lowest free slot in 0..limit, or -1.
    int32_t Lowest(int32_t limit) const;

private:
    std::vector<uint64_t> bits_;
    std::vector<uint64_t> summary_;
};

struct Box {
    double minX, minY, maxX, maxY;
};

// A uniform grid over element bounding boxes. Elements whose box covers too many cells,
// or all elements while the grid is young, live in a list that every query returns. The
// cell size follows the elements' typical size and the grid rebuilds itself as it grows,
// so that a floor plan of short walls and a site plan of long roads both stay fast. A
// query returns a superset of the elements whose boxes meet the query box; callers then
// test each candidate exactly, so the results never depend on the grid.
class SpatialGrid {
public:
    void Clear();
    void Insert(int32_t id, const Box& box);
    void Remove(int32_t id, const Box& box);
    // Appends candidate ids (unsorted, may repeat) to out; returns false when the query is
    // so large that the caller should scan every element instead.
    bool Query(const Box& box, std::vector<int32_t>& out) const;
    int32_t size() const { return count_; }

private:
    struct Range {
        int64_t x0, y0, x1, y1;
    };
    Range CellsOf(const Box& box) const;
    static uint64_t Key(int64_t cx, int64_t cy);
    void Rebuild();
    void Place(int32_t id, const Box& box);

    double cell_ = 0.0;  // 0 = no cells yet, everything in the wide list
    std::unordered_map<uint64_t, std::vector<int32_t>> cells_;
    std::vector<int32_t> wide_;
    std::unordered_map<int32_t, Box> boxes_;  // for rebuilding
    int32_t count_ = 0;
    int32_t nextRebuild_ = 256;
    double sizeSum_ = 0.0;
};
