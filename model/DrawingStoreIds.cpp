// The drawing store's element identities: giving them, renumbering, and finding an element by
// its identity.
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/DrawingStore.h"

namespace {

// A box grown a little, so that an element stored from the same record is among the
// candidates even if its box came out a rounding step apart.
Box Grown(Box b) {
    const double pad = 1e-6 + 1e-12 * (std::fabs(b.minX) + std::fabs(b.minY) + std::fabs(b.maxX) +
                                       std::fabs(b.maxY));
    return {b.minX - pad, b.minY - pad, b.maxX + pad, b.maxY + pad};
}

bool FiniteBox(const Box& b) {
    return std::isfinite(b.minX) && std::isfinite(b.minY) && std::isfinite(b.maxX) &&
           std::isfinite(b.maxY);
}

}  // namespace

void DrawingStore::GiveId(SlotTable<uint64_t>& ids, int32_t i) {
    ids[size_t(i)] = adoptedId_ != 0 ? adoptedId_ : NewId();
    adoptedId_ = 0;
}

void DrawingStore::RenumberIds(uint32_t site) {
    idSite_ = site & 0xFFFF;
    for (int32_t i = 0; i <= lineTop && i <= lineAlloc; ++i)
        if (line(i).alive) lineIds_[size_t(i)] = NewId();
    for (int32_t i = 0; i <= circleTop && i <= circleAlloc; ++i)
        if (circle(i).alive) circleIds_[size_t(i)] = NewId();
}

int32_t DrawingStore::FindLine(uint64_t id, const LineElement& like) const {
    if (id == 0) return -1;
    const Box box = Grown(LineBox(like));
    if (!FiniteBox(box)) return -1;
    std::vector<int32_t> found;
    Candidates(lineGrid_, box, std::min(lineTop, lineAlloc), true, -1, found);
    for (int32_t i : found)
        if (line(i).alive && lineIds_[size_t(i)] == id) return i;
    return -1;
}

int32_t DrawingStore::FindCircle(uint64_t id, const CircleElement& like) const {
    if (id == 0) return -1;
    const Box box = Grown(CircleBox(like));
    if (!FiniteBox(box)) return -1;
    std::vector<int32_t> found;
    Candidates(circleGrid_, box, std::min(circleTop, circleAlloc), false, -1, found);
    for (int32_t i : found)
        if (circle(i).alive && circleIds_[size_t(i)] == id) return i;
    return -1;
}
