// The drawing store's searches under the cursor and over the visible window, on its grids.
#include <algorithm>
#include <cmath>

#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "model/DrawingStore.h"

namespace {

// Squared distance from (x, y) to a box; a lower bound of the distance to anything inside.
inline double BoxDistance2(double x, double y, double minX, double minY, double maxX, double maxY) {
    double dx = x < minX ? minX - x : (x > maxX ? x - maxX : 0.0);
    double dy = y < minY ? minY - y : (y > maxY ? y - maxY : 0.0);
    return dx * dx + dy * dy;
}

// An element whose box lies farther than the best distance so far cannot be picked; the
// margin keeps elements whose computed distance may come out a rounding error short.
inline bool OutOfReach(double box2, double t) { return box2 > t * t * 1.000001 + 1e-12; }

// The pick's rule over one table, in any order of visits: the smallest distance d with
// 0 < d < t wins, among equal distances the lower slot, as the plain scan in slot order.
struct Best {
    double t;
    int32_t id = -1;
    void Offer(int32_t i, double d) {
        if (!(d > 0)) return;
        if (d < t || (d == t && id != -1 && i < id)) {
            id = i;
            t = d;
        }
    }
};

// Visits the grid's rings around (x, y) until no box beyond can hold anything nearer than
// best.t; offer(entry) tests one entry.
template <class Offer>
void RingSearch(const SpatialGrid& grid, double x, double y, const Best& best, Offer offer) {
    const double slack = 1e-9 * (std::fabs(x) + std::fabs(y)) + 1e-12;
    if (!grid.VisitRing(x, y, 0, offer)) return;
    for (int64_t k = grid.FirstRing(x, y);; ++k) {
        const double reach = grid.RingReach(x, y, k) - slack;
        if (reach > 0 && reach > best.t * 1.000001) return;
        if (!grid.VisitRing(x, y, k, offer)) return;
    }
}

}  // namespace

void DrawingStore::PrepareSearch() const {
    if (useSpatialIndex && pointGrid_.NeedsBuild(pointTop))
        pointGrid_.Build(std::min(pointTop, pointAlloc),
                         [this](int32_t i) -> const PointElement& { return points_[size_t(i)]; });
}

int32_t DrawingStore::NearestPointPlain(double x, double y, double t) const {
    int32_t found = -1;
    auto p = points_.begin();
    for (int32_t i = 0, last = std::min(pointTop, pointAlloc); i <= last; ++i, ++p) {
        if (p->kind == kPointFree) continue;
        double d2 = (x - p->x) * (x - p->x) + (y - p->y) * (y - p->y);
        if (d2 < t) {
            found = i;
            t = d2;
        }
    }
    return found;
}

int32_t DrawingStore::NearestPoint(double x, double y, double t) const {
    if (!useSpatialIndex) return NearestPointPlain(x, y, t);
    PrepareSearch();
    return pointGrid_.Nearest(
        x, y, t, std::min(pointTop, pointAlloc),
        [this](int32_t i) -> const PointElement& { return points_[size_t(i)]; });
}

void DrawingStore::NearestElementPlain(double x, double y, double& t, int32_t& pickLine,
                                       int32_t& pickCircle) const {
    pickLine = -1;
    auto l = lines_.begin();
    for (int32_t i = 0, last = std::min(lineTop, lineAlloc); i <= last; ++i, ++l) {
        if (!l->alive) continue;
        if (OutOfReach(
                BoxDistance2(x, y, l->x1, std::min(l->y1, l->y2), l->x2, std::max(l->y1, l->y2)),
                t))
            continue;
        double d = PointSegmentDistance(*l, x, y);
        if (d > 0 && d < t) {
            pickLine = i;
            t = d;
        }
    }
    pickCircle = -1;
    auto c = circles_.begin();
    for (int32_t i = 0, last = std::min(circleTop, circleAlloc); i <= last; ++i, ++c) {
        if (!c->alive) continue;
        double r = std::fabs(c->radius);
        if (OutOfReach(BoxDistance2(x, y, c->cx - r, c->cy - r, c->cx + r, c->cy + r), t)) continue;
        double d = PointCircleDistance(*c, x, y);
        if (d > 0 && d < t) {
            pickCircle = i;
            t = d;
            pickLine = -1;
        }
    }
}

void DrawingStore::NearestElement(double x, double y, double& t, int32_t& pickLine,
                                  int32_t& pickCircle) const {
    if (!useSpatialIndex || !std::isfinite(x) || !std::isfinite(y)) {
        NearestElementPlain(x, y, t, pickLine, pickCircle);
        return;
    }
    Best lineBest{t};
    RingSearch(lineGrid_, x, y, lineBest, [&](int32_t id, const Box& b) {
        if (OutOfReach(BoxDistance2(x, y, b.minX, b.minY, b.maxX, b.maxY), lineBest.t)) return;
        if (id > lineTop || id > lineAlloc) return;
        const LineElement& l = line(id);
        if (l.alive) lineBest.Offer(id, PointSegmentDistance(l, x, y));
    });
    // A circle replaces the line only when strictly nearer: its search starts from the
    // line's distance, and ties among circles go to the lower slot.
    Best circleBest{lineBest.t};
    RingSearch(circleGrid_, x, y, circleBest, [&](int32_t id, const Box& b) {
        if (OutOfReach(BoxDistance2(x, y, b.minX, b.minY, b.maxX, b.maxY), circleBest.t)) return;
        if (id > circleTop || id > circleAlloc) return;
        const CircleElement& c = circle(id);
        if (!c.alive) return;
        // The plain scan's own test of the box, which leaves out a little less than the
        // grid's padded one.
        const double r = std::fabs(c.radius);
        if (OutOfReach(BoxDistance2(x, y, c.cx - r, c.cy - r, c.cx + r, c.cy + r), circleBest.t))
            return;
        circleBest.Offer(id, PointCircleDistance(c, x, y));
    });
    t = circleBest.id != -1 ? circleBest.t : lineBest.t;
    pickLine = circleBest.id != -1 ? -1 : lineBest.id;
    pickCircle = circleBest.id;
}

bool DrawingStore::ElementsIn(const Box& box, std::vector<int32_t>& outLines,
                              std::vector<int32_t>& outCircles) const {
    outLines.clear();
    outCircles.clear();
    if (!useSpatialIndex || (lineGrid_.Inside(box) && circleGrid_.Inside(box))) return false;
    auto collect = [&](const SpatialGrid& grid, int32_t top, int32_t alloc, bool isLine,
                       std::vector<int32_t>& out) {
        grid.Query(box, out);
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        std::erase_if(out, [&](int32_t i) {
            if (i > top || i > alloc) return true;
            return !(isLine ? line(i).alive : circle(i).alive);
        });
    };
    collect(lineGrid_, lineTop, lineAlloc, true, outLines);
    collect(circleGrid_, circleTop, circleAlloc, false, outCircles);
    return true;
}
