// The layers and block definitions of a DXF file, and the placing of block references.
#include "files/DxfBlocks.h"

#include <cctype>

namespace {

constexpr int kMaxNesting = 64;

// Passes on what it is given while the budget lasts, each element paid for: a curve placed
// out of shape becomes many lines.
class BudgetSink final : public DxfSink {
public:
    BudgetSink(DxfSink& out, int64_t& budget) : out_(out), budget_(budget) {}
    void Line(double x1, double y1, double x2, double y2) override {
        if (Pay()) out_.Line(x1, y1, x2, y2);
    }
    void Arc(double cx, double cy, double r, double a0, double a1) override {
        if (Pay()) out_.Arc(cx, cy, r, a0, a1);
    }
    void Text(double x, double y, const std::string& text, double height, double angle) override {
        if (Pay()) out_.Text(x, y, text, height, angle);
    }

private:
    bool Pay() { return budget_ > 0 && --budget_ >= 0; }
    DxfSink& out_;
    int64_t& budget_;
};

std::string Lower(std::string_view name) {
    std::string key(name);
    for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

}  // namespace

DxfLayers::DxfLayers() : lastName_("0") {
    ids_.emplace("0", 0);
    state_.push_back(0);
}

int32_t DxfLayers::Id(std::string_view name) {
    if (name == lastName_) return lastId_;
    std::string key = Lower(name);
    auto [it, added] = ids_.emplace(std::move(key), int32_t(state_.size()));
    if (added) state_.push_back(0);
    lastName_.assign(name);
    lastId_ = it->second;
    return lastId_;
}

void DxfLayers::Set(std::string_view name, bool off, bool frozen) {
    state_[std::size_t(Id(name))] = uint8_t((off ? 1 : 0) | (frozen ? 2 : 0));
}

void DxfBlockRecorder::Line(double x1, double y1, double x2, double y2) {
    if (block) block->items.push_back({DxfBlock::kLine, layer, 0, {x1, y1, x2, y2, 0.0}});
}

void DxfBlockRecorder::Arc(double cx, double cy, double r, double a0, double a1) {
    if (block) block->items.push_back({DxfBlock::kArc, layer, 0, {cx, cy, r, a0, a1}});
}

void DxfBlockRecorder::Text(double x, double y, const std::string& text, double height,
                            double angle) {
    if (!block) return;
    block->items.push_back(
        {DxfBlock::kText, layer, int32_t(block->texts.size()), {x, y, 0.0, 0.0, 0.0}});
    block->texts.push_back({text, height, angle});
}

void DxfBlockRecorder::Place(DxfPlacement placement) {
    if (!block) return;
    block->items.push_back(
        {DxfBlock::kPlace, placement.layer, int32_t(block->places.size()), {}});
    block->places.push_back(std::move(placement));
}

std::string DxfBlocks::Key(std::string_view name) { return Lower(name); }

DxfBlock& DxfBlocks::Define(const std::string& key) {
    DxfBlock& block = blocks_[key];
    // A second definition of the same name replaces the first.
    block = DxfBlock{};
    block.defined = true;
    return block;
}

const DxfBlock* DxfBlocks::Find(const std::string& key) const {
    auto it = blocks_.find(key);
    return it == blocks_.end() || !it->second.defined ? nullptr : &it->second;
}

bool DxfBlocks::Expand(const DxfPlacement& placement, DxfSink& out) {
    if (!Find(placement.block)) return false;
    BudgetSink paid(out, budget_);
    Place(placement, DxfAffine{}, -1, 0, paid);
    if (budget_ <= 0 && truncated == 0) ++truncated;
    return true;
}

void DxfBlocks::Place(const DxfPlacement& p, const DxfAffine& outer, int32_t parentLayer,
                      int depth, DxfSink& out) {
    auto it = blocks_.find(p.block);
    if (it == blocks_.end() || !it->second.defined) {
        ++missing;
        return;
    }
    DxfBlock& block = it->second;
    if (block.active || depth >= kMaxNesting) {
        ++loops;
        return;
    }
    // Entities on layer 0 take the layer of their reference; a frozen layer hides the
    // reference and everything in it.
    const int32_t layer = p.layer == layers_.Zero() && parentLayer >= 0 ? parentLayer : p.layer;
    if (layers_.Frozen(layer) || block.items.empty()) return;
    const int64_t columns = std::max<int64_t>(p.columns, 1), rows = std::max<int64_t>(p.rows, 1);
    const DxfAffine turn = DxfAffine::ScaleRotate(1.0, 1.0, p.rotation);
    const DxfAffine shape = DxfAffine::ScaleRotate(p.scaleX, p.scaleY, p.rotation)
                                .After(p.fromBase ? DxfAffine::Translation(-block.baseX, -block.baseY)
                                                  : DxfAffine{});
    block.active = true;
    for (int64_t r = 0; r < rows; ++r) {
        for (int64_t c = 0; c < columns; ++c) {
            if (budget_ <= 0) {
                ++truncated;
                block.active = false;
                return;
            }
            --budget_;  // each copy costs, so that copies of nothing still come to an end
            double ox = 0.0, oy = 0.0;
            turn.Apply(double(c) * p.columnSpacing, double(r) * p.rowSpacing, ox, oy);
            const DxfAffine map =
                outer.After(p.ocs).After(DxfAffine::Translation(p.x + ox, p.y + oy)).After(shape);
            if (!map.Finite()) continue;
            DxfPlacedSink placed(out, map, curves_);
            for (const DxfBlock::Item& item : block.items) {
                if (item.kind == DxfBlock::kPlace) {
                    Place(block.places[std::size_t(item.ref)], map, layer, depth + 1, out);
                    continue;
                }
                if (budget_ <= 0) {
                    ++truncated;
                    block.active = false;
                    return;
                }
                --budget_;  // hidden items cost their visit too
                const int32_t own = item.layer == layers_.Zero() ? layer : item.layer;
                if (layers_.Hidden(own)) continue;
                const double* v = item.v;
                if (item.kind == DxfBlock::kLine) {
                    placed.Line(v[0], v[1], v[2], v[3]);
                } else if (item.kind == DxfBlock::kArc) {
                    placed.Arc(v[0], v[1], v[2], v[3], v[4]);
                } else {
                    const DxfBlock::TextItem& t = block.texts[std::size_t(item.ref)];
                    placed.Text(v[0], v[1], t.text, t.height, t.angle);
                }
            }
        }
    }
    block.active = false;
}
