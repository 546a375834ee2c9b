// The import of one DXF file: the pass over its pairs, sections, the entities read group by group
// (lines, circles, arcs, texts, polyline vertices) and the closing notes.
#include "files/DxfImport.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <set>
#include <utility>


namespace {

std::string Counted(const char* before, int64_t count, const char* after) {
    return before + std::to_string(count) + after;
}

// Names that structure a file rather than draw.
bool Structural(std::string_view name) {
    static const std::set<std::string_view> names = {
        "SECTION", "ENDSEC",   "TABLE",  "ENDTAB", "BLOCK", "ENDBLK",       "EOF",
        "SEQEND",  "CLASS",    "LAYER",  "LTYPE",  "STYLE", "VIEW",         "UCS",
        "VPORT",   "APPID",    "DIMSTYLE", "BLOCK_RECORD", "ATTDEF",
        "VIEWPORT"};  // a viewport only frames the model on a sheet
    return names.count(name) != 0;
}

}  // namespace

DxfImport::DxfImport(DxfPairReader& file, DxfSink& store, const DxfReadSettings& settings,
                     DxfReadReport& report, std::function<void(const std::string&)> tell)
    : file_(file),
      storeSink_(store),
      settings_(settings),
      report_(report),
      tell_(std::move(tell)),
      curves_{settings.splineResolution, settings.arcAngleMin, settings.arcAngleMax},
      blocks_(layers_, curves_, settings.maxInsertedElements) {}

bool DxfImport::Common::Group(int code, const DxfGroupValue& v, DxfLayers& layers) {
    switch (code) {
        case 8:
            layer = layers.Id(DxfName(v.line));
            return true;
        case 60:
            if (v.converted) invisible = v.integer == 1;
            return true;
        case 67:
            if (v.converted) paper = v.integer == 1;
            return true;
        case 210:
        case 220:
        case 230:
            if (v.converted && DxfRealUsable(v.real)) (code == 210 ? nx : code == 220 ? ny : nz) = v.real;
            return true;
        default:
            return false;
    }
}

void DxfImport::Run() {
    DxfGroupValue v;
    for (;;) {
        const int code = ReadGroupPair(file_, v);
        switch (code) {
            case -1:
                lostAtEnd_ = pending_ != Kind::None;
                for (const DxfPlacement& p : deferred_)
                    if (!blocks_.Expand(p, storeSink_)) ++unknownBlocks_;
                return;
            case 0:
                if (OnEntityName(v.text)) {
                    for (const DxfPlacement& p : deferred_)
                        if (!blocks_.Expand(p, storeSink_)) ++unknownBlocks_;
                    return;
                }
                break;
            case 1:
                textValue_.assign(v.text);
                break;
            case 8:
                common_.Group(code, v, layers_);
                OnLayer(v);
                break;
            case 10:
                SetReal(v, x0_, kX0);
                break;
            case 20:
                SetReal(v, y0_, kY0);
                break;
            case 11:
                SetReal(v, x1_, kX1);
                break;
            case 21:
                SetReal(v, y1_, kY1);
                break;
            case 30:
                if (v.converted && DxfRealUsable(v.real)) z0_ = v.real;
                break;
            case 40:
                SetReal(v, radius_, kRadius);
                break;
            case 42:
                if (v.converted && DxfRealUsable(v.real)) bulge_ = v.real;
                break;
            case 50:
                SetReal(v, start_, kStart);
                break;
            case 51:
                SetReal(v, end_, kEnd);
                break;
            case 70:
                if (v.converted) flags_ = v.integer;
                break;
            case 71:
            case 72:
            case 73:
            case 74:
                if (v.converted) face_[code - 71] = v.integer;
                break;
            default:  // colours, handles, ... and pairs of no interest
                common_.Group(code, v, layers_);
                break;
        }
    }
}

void DxfImport::SetReal(const DxfGroupValue& v, double& target, unsigned bit) {
    if (!v.converted) {
        ++unconverted_;
    } else if (!DxfRealUsable(v.real)) {
        // The group keeps its previous value for the entities after this one; this one is
        // dropped when it uses the group.
        refused_ |= bit;
    } else {
        target = v.real;
    }
}

bool DxfImport::Dropped(const Common& c) {
    if (c.invisible) return true;
    if (inBlock_) return false;  // decided where the block is placed
    if (section_ == Section::Blocks || section_ == Section::Header ||
        section_ == Section::Tables) {
        return true;
    }
    if (c.paper) {
        ++paperEntities_;
        return true;
    }
    if (layers_.Hidden(c.layer)) {
        ++hiddenEntities_;
        return true;
    }
    return false;
}

DxfSink& DxfImport::Target(const Common& c) {
    if (!inBlock_) return storeSink_;
    recorder_.layer = c.layer;
    return recorder_;
}


bool DxfImport::OnEntityName(std::string_view name) {
    if (started_) ++report_.entities;
    started_ = true;
    FinishPending();
    pending_ = Kind::None;
    refused_ = 0;
    common_ = Common{};
    z0_ = bulge_ = 0.0;
    flags_ = 0;
    std::fill(std::begin(face_), std::end(face_), 0);
    if (name == "LINE") {
        pending_ = Kind::Line;
    } else if (name == "CIRCLE") {
        pending_ = Kind::Circle;
    } else if (name == "ARC") {
        pending_ = Kind::Arc;
    } else if (name == "TEXT") {
        start_ = 0.0;
        pending_ = Kind::Text;
    } else if (name == "VERTEX") {
        pending_ = Kind::Vertex;
    } else if (name == "SEQEND") {
        seqend_ = true;
        if (polyline_.open || !vertices_.empty()) FlushPolyline();
    } else if (name == "EOF") {
        endMark_ = true;
        return true;
    } else if (name == "SPLINE") {
        // Its own pairs, up to the next entity's code-0 pair, which comes back to this loop.
        // Splines are in world coordinates; their layer and space decide where one goes.
        SplineResult result = ReadSplineData(file_, spline_, settings_.maxEntityPoints, tell_);
        Common c;
        c.layer = layers_.Id(spline_.layer);
        c.paper = spline_.paper;
        c.invisible = spline_.invisible;
        if (result == SplineResult::Converted && !Dropped(c))
            result = AppendSplineChain(Target(c), settings_, spline_);
        switch (result) {
            case SplineResult::Converted:
                break;
            case SplineResult::Unreadable:
                ++unreadableSplines_;
                break;
            case SplineResult::TooLarge:
                ++largeSplines_;
                break;
            case SplineResult::BadValue:
                ++badValueEntities_;
                break;
            case SplineResult::NoMemory:
                ++noMemory_;
                break;
        }
    } else if (!ReadEntity(name)) {
        const bool drawing = section_ == Section::Entities || section_ == Section::None ||
                             (section_ == Section::Blocks && inBlock_);
        if (drawing && !name.empty() && !Structural(name)) ++skipped_[std::string(name)];
    }
    return false;
}

void DxfImport::FinishPending() {
    static constexpr unsigned kNeeds[] = {0,
                                          kX0 | kY0 | kX1 | kY1,
                                          kX0 | kY0 | kRadius,
                                          kX0 | kY0 | kRadius | kStart | kEnd,
                                          kX0 | kY0 | kRadius | kStart,
                                          kX0 | kY0};
    if (pending_ == Kind::None) return;
    if (refused_ & kNeeds[int(pending_)]) {
        ++badValueEntities_;
        return;
    }
    if (pending_ == Kind::Vertex) {
        AddVertex();
        return;
    }
    if (Dropped(common_)) return;
    switch (pending_) {
        case Kind::Line:  // world coordinates
            Target(common_).Line(x0_, y0_, x1_, y1_);
            break;
        case Kind::Circle:
            Emit(common_, z0_, [&](DxfSink& out) { out.Arc(x0_, y0_, radius_, 0.0, 0.0); });
            break;
        case Kind::Arc:
            Emit(common_, z0_, [&](DxfSink& out) { out.Arc(x0_, y0_, radius_, start_, end_); });
            break;
        case Kind::Text: {
            const std::string text = DecodeText(textValue_);
            Emit(common_, z0_,
                 [&](DxfSink& out) { out.Text(x0_, y0_, text, radius_, start_); });
            break;
        }
        default:
            break;
    }
}

void DxfImport::AddVertex() {
    if (verticesOverflow_ || verticesNoMemory_) return;
    if (int64_t(vertices_.size()) >= settings_.maxEntityPoints) {
        verticesOverflow_ = true;
        return;
    }
    try {
        vertices_.push_back({x0_, y0_, bulge_, flags_, {face_[0], face_[1], face_[2], face_[3]}});
    } catch (const std::bad_alloc&) {
        verticesNoMemory_ = true;
        std::vector<Vertex>().swap(vertices_);
        tell_("vertexメモリ確保に失敗しました");
    }
}

void DxfImport::OnLayer(const DxfGroupValue& v) {
    // Vertices without a POLYLINE before them end where the layer changes, or at the first
    // layer group after a SEQEND.
    if (!polyline_.open && (v.text != previousLayer_ || seqend_)) FlushPolyline();
    previousLayer_.assign(v.text);
}

void DxfImport::FlushPolyline() {
    const Polyline head = std::exchange(polyline_, Polyline{});
    if (verticesOverflow_) {
        ++largePolylines_;
    } else if (verticesNoMemory_) {
        ++noMemory_;
    } else if (!vertices_.empty() && !Dropped(head.common)) {
        const int32_t f = head.flags;
        if (f & 64) {
            EmitMesh();  // a polyface mesh: the edges of its faces
        } else if (f & 16) {
            // A polygon mesh of m by n vertices, closed in either direction by flags 1 and 32.
            const int64_t m = head.m, n = head.n;
            if (m > 0 && n > 0 && m * n <= int64_t(vertices_.size())) {
                DxfSink& out = Target(head.common);
                auto at = [&](int64_t i, int64_t j) -> const Vertex& {
                    return vertices_[std::size_t(i * n + j)];
                };
                for (int64_t i = 0; i < m; ++i)
                    for (int64_t j = 0; j < n; ++j) {
                        const Vertex& a = at(i, j);
                        if (j + 1 < n || (f & 32)) {
                            const Vertex& b = at(i, (j + 1) % n);
                            out.Line(a.x, a.y, b.x, b.y);
                        }
                        if (i + 1 < m || (f & 1)) {
                            const Vertex& b = at((i + 1) % m, j);
                            out.Line(a.x, a.y, b.x, b.y);
                        }
                    }
            }
        } else {
            // The control frame of a spline-fit polyline is not the curve.
            std::vector<Vertex> shown;
            shown.reserve(vertices_.size());
            for (const Vertex& v : vertices_)
                if (!(v.flags & 16)) shown.push_back(v);
            const bool closed = (f & 1) != 0;
            if (f & 8) {
                EmitChain(Target(head.common), shown, closed, false);  // 3D: world, no bulges
            } else {
                Emit(head.common, head.z,
                     [&](DxfSink& out) { EmitChain(out, shown, closed, true); });
            }
        }
    }
    vertices_.clear();
    verticesOverflow_ = verticesNoMemory_ = false;
    seqend_ = false;
}

void DxfImport::EmitMesh() {
    std::vector<const Vertex*> points;
    std::set<std::pair<int32_t, int32_t>> edges;
    for (const Vertex& v : vertices_)
        if ((v.flags & 128) && (v.flags & 64)) points.push_back(&v);
    DxfSink& out = Target(polyline_.common);
    for (const Vertex& v : vertices_) {
        if (!(v.flags & 128) || (v.flags & 64)) continue;
        int32_t corner[4];
        int count = 0;
        for (int32_t index : v.face) {
            const int32_t i = index < 0 ? -index : index;
            if (i >= 1 && i <= int32_t(points.size())) corner[count++] = i - 1;
        }
        for (int k = 0; k < count && count > 1; ++k) {
            const int32_t a = corner[k], b = corner[(k + 1) % count];
            if (a == b || !edges.insert({std::min(a, b), std::max(a, b)}).second) continue;
            out.Line(points[std::size_t(a)]->x, points[std::size_t(a)]->y,
                     points[std::size_t(b)]->x, points[std::size_t(b)]->y);
        }
    }
}

void DxfImport::EmitChain(DxfSink& out, const std::vector<Vertex>& v, bool closed, bool bulges) {
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (bulges)
            EmitBulge(out, v[i - 1], v[i]);
        else
            out.Line(v[i - 1].x, v[i - 1].y, v[i].x, v[i].y);
    }
    // Two vertices close only with a bulge: two half circles make a circle.
    if (closed && (v.size() > 2 || (v.size() == 2 && (v[0].bulge != 0.0 || v[1].bulge != 0.0)))) {
        if (bulges)
            EmitBulge(out, v.back(), v.front());
        else
            out.Line(v.back().x, v.back().y, v.front().x, v.front().y);
    }
}

void DxfImport::EmitBulge(DxfSink& out, const Vertex& a, const Vertex& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double chord = std::hypot(dx, dy);
    const double bulge = a.bulge;
    if (bulge == 0.0 || !(chord > 0.0) || std::fabs(bulge) < 1e-10) {
        out.Line(a.x, a.y, b.x, b.y);
        return;
    }
    // The bulge is the tangent of a quarter of the arc's angle, positive counter-clockwise.
    const double sagitta = std::fabs(bulge) * chord / 2.0;
    const double radius = ((chord / 2.0) * (chord / 2.0) + sagitta * sagitta) / (2.0 * sagitta);
    const double offset = (radius - sagitta) * (bulge > 0.0 ? 1.0 : -1.0);
    const double cx = (a.x + b.x) / 2.0 - dy / chord * offset;
    const double cy = (a.y + b.y) / 2.0 + dx / chord * offset;
    double s = std::atan2(a.y - cy, a.x - cx) * 180.0 / std::numbers::pi;
    double e = std::atan2(b.y - cy, b.x - cx) * 180.0 / std::numbers::pi;
    if (s < 0.0) s += 360.0;
    if (e < 0.0) e += 360.0;
    if (bulge < 0.0) std::swap(s, e);
    if (s == e || !DxfRealUsable(radius) || !DxfRealUsable(cx) || !DxfRealUsable(cy)) {
        out.Line(a.x, a.y, b.x, b.y);
        return;
    }
    out.Arc(cx, cy, radius, s, e);
}

void DxfImport::Notes(bool readFailed, int64_t refusedTexts) {
    std::vector<std::string>& notes = report_.notes;
    if (readFailed)
        notes.push_back("ファイルの読み込み中にエラーが発生したため、途中で読み込みを終えました");
    else if (!endMark_ && lostAtEnd_)
        notes.push_back("ファイルが EOF で終わっていないため、最後の図形を読み込めませんでした");
    // Vertices still held at the end belong to a polyline whose end never came.
    if (verticesOverflow_)
        ++largePolylines_;
    else if (verticesNoMemory_)
        ++noMemory_;
    else if (!vertices_.empty())
        notes.push_back(Counted("終わりのないポリラインの頂点 ", int64_t(vertices_.size()),
                                " 個を線にしませんでした"));
    if (largePolylines_)
        notes.push_back(Counted("ポリラインの頂点が多すぎるため ", largePolylines_,
                                " 個の図形を読み飛ばしました"));
    if (largeSplines_)
        notes.push_back(Counted("スプラインの制御点またはノットが多すぎるため ", largeSplines_,
                                " 個の図形を読み飛ばしました"));
    if (unreadableSplines_)
        notes.push_back(Counted("制御点・次数・ノットが揃っていないスプライン ", unreadableSplines_,
                                " 個を読み飛ばしました"));
    if (badValueEntities_)
        notes.push_back(
            Counted("値が大きすぎるか数でない図形 ", badValueEntities_, " 個を読み飛ばしました"));
    if (noMemory_)
        notes.push_back(Counted("メモリが足りないため ", noMemory_, " 個の図形を読み飛ばしました"));
    if (refusedTexts)
        notes.push_back(Counted("メモリが足りないため ", refusedTexts,
                                " 個のテキストを読み飛ばしました"));
    if (unknownBlocks_ || blocks_.missing)
        notes.push_back(Counted("定義のないブロックへの参照 ", unknownBlocks_ + blocks_.missing,
                                " 個を描きませんでした"));
    if (blocks_.loops)
        notes.push_back(Counted("自分自身を含むか入れ子が 64 段より深いブロック参照 ",
                                blocks_.loops, " 個を描きませんでした"));
    if (blocks_.truncated)
        notes.push_back("ブロックの展開で図形が多くなりすぎるため、一部のブロック参照を途中までしか"
                        "描いていません");
    if (paperEntities_)
        notes.push_back(Counted("ペーパー空間の図形 ", paperEntities_, " 個は描きませんでした"));
    if (hiddenEntities_)
        notes.push_back(Counted("非表示またはフリーズされた画層の図形 ", hiddenEntities_,
                                " 個は描きませんでした"));
    if (!skipped_.empty()) {
        std::vector<std::pair<int64_t, std::string>> kinds;
        for (const auto& [name, count] : skipped_) kinds.push_back({-count, name});
        std::sort(kinds.begin(), kinds.end());
        std::string note = "読み込まない種類の図形を読み飛ばしました:";
        for (std::size_t i = 0; i < kinds.size() && i < 12; ++i)
            note += (i ? "、" : " ") + kinds[i].second + " " + std::to_string(-kinds[i].first) +
                    " 個";
        if (kinds.size() > 12) note += " ほか";
        notes.push_back(note);
    }
    if (unconverted_)
        notes.push_back(Counted("値を読み取れないグループ ", unconverted_, " 組を無視しました"));
    if (file_.pairsWithoutCode)
        notes.push_back(Counted("グループコードが整数でないグループ ", file_.pairsWithoutCode,
                                " 組を読み飛ばしました"));
    if (file_.overlongPairs)
        notes.push_back(
            Counted("長すぎる行を含むグループ ", file_.overlongPairs, " 組を読み飛ばしました"));
}
