// The DXF reader: the line and pair reader, and the single pass that imports a file's entities.
#include "files/DxfReader.h"

#include <cstring>
#include <new>

#include "files/Spline.h"
#include "files/TextFileIo.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"

// ---------------------------------------------------------------------------------------------
// Lines and pairs

bool DxfPairReader::Fetch() {
    if (ended_ || !next_) {
        ended_ = true;
        return false;
    }
    chunk_ = next_();
    pos_ = 0;
    if (chunk_.empty()) ended_ = true;
    return !ended_;
}

bool DxfPairReader::NextLine(std::string_view& line, bool& overlong) {
    if (pendingHandedOut_) {
        pending_.clear();
        pendingHandedOut_ = false;
    }
    for (;;) {
        const char* p = chunk_.data() + pos_;
        const std::size_t rest = chunk_.size() - pos_;
        const char* nl = rest ? static_cast<const char*>(std::memchr(p, '\n', rest)) : nullptr;
        if (nl) {
            const std::size_t length = std::size_t(nl - p);
            pos_ += length + 1;
            if (overlong_ || pending_.size() + length > kDxfMaxLineBytes) {
                overlong_ = false;
                pending_.clear();
                line = {};
                overlong = true;
                return true;
            }
            overlong = false;
            if (pending_.empty()) {
                // The common case: the whole line lies in this chunk and is read in place.
                line = {p, length};
            } else {
                pending_.append(p, length);
                line = pending_;
                pendingHandedOut_ = true;
            }
            return true;
        }
        // The line runs on into the next chunk: keep its start, unless it is already too
        // long to be of interest, in which case only the fact is kept.
        if (!overlong_) {
            if (pending_.size() + rest > kDxfMaxLineBytes) {
                overlong_ = true;
                pending_.clear();
            } else {
                pending_.append(p, rest);
            }
        }
        pos_ = chunk_.size();
        if (!Fetch()) {
            // The last line may lack its line feed.
            if (overlong_) {
                overlong_ = false;
                line = {};
                overlong = true;
                return true;
            }
            if (pending_.empty()) return false;
            line = pending_;
            overlong = false;
            pendingHandedOut_ = true;
            return true;
        }
    }
}

namespace {

// The line as a C string would see it: up to its first NUL.
std::string_view UpToNul(std::string_view s) {
    const void* nul = std::memchr(s.data(), '\0', s.size());
    return nul ? s.substr(0, std::size_t(static_cast<const char*>(nul) - s.data())) : s;
}

// A decimal integer as scanf's %d reads it: blanks, a sign, digits; what follows is ignored.
bool ParseInteger(std::string_view s, int32_t& out) {
    const char* p = SkipSpace(s.data(), s.data() + s.size());
    const char* end = s.data() + s.size();
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end || !IsDigit(*p)) return false;
    int64_t v = 0;
    for (; p != end && IsDigit(*p); ++p) {
        v = v * 10 + (*p - '0');
        if (v > int64_t(1) << 31) return false;  // beyond any int32
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = int32_t(v);
    return true;
}

// The first blank-delimited word; empty for a blank line.
std::string_view FirstWord(std::string_view s) {
    s = UpToNul(s);
    const char* end = s.data() + s.size();
    const char* p = SkipSpace(s.data(), end);
    const char* q = p;
    while (q != end && !IsCSpace(*q)) ++q;
    return {p, std::size_t(q - p)};
}

bool ParseReal(std::string_view s, double& out) {
    const char* end = s.data() + s.size();
    const char* p = SkipSpace(s.data(), end);
    return ParseNumber(p, end, out);
}

}  // namespace

int ReadGroupPair(DxfPairReader& file, DxfGroupValue& value) {
    if (file.handedBack_) {
        file.handedBack_ = false;
        value = file.last_;
        return file.lastCode_;
    }
    for (;;) {
        std::string_view codeLine, valueLine;
        bool codeOverlong = false, valueOverlong = false;
        if (!file.NextLine(codeLine, codeOverlong)) return -1;
        int32_t code = 0;
        // Parsed before the value line is read: the view may not outlive the next line.
        const bool haveCode = !codeOverlong && ParseInteger(codeLine, code);
        if (!file.NextLine(valueLine, valueOverlong)) return -1;
        if (haveCode && code >= 1000) continue;  // extended data
        value = DxfGroupValue{};
        int result = -999;
        if (codeOverlong || valueOverlong) {
            ++file.overlongPairs;
        } else if (!haveCode) {
            ++file.pairsWithoutCode;
        } else if (code == -1) {
            // Only the end of the data ends the reading.
        } else if (code == 1) {
            std::string_view text = UpToNul(valueLine);
            if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
            value.text = text;
            value.converted = true;
            result = code;
        } else if (code <= 9 || code == 100 || code == 999) {
            value.text = FirstWord(valueLine);
            value.converted = true;
            result = code;
        } else if ((code >= 10 && code <= 59) || (code >= 210 && code <= 239)) {
            value.converted = ParseReal(valueLine, value.real);
            result = code;
        } else if (code >= 60 && code <= 79) {
            value.converted = ParseInteger(valueLine, value.integer);
            result = code;
        }
        file.lastCode_ = result;
        file.last_ = value;
        return result;
    }
}

// ---------------------------------------------------------------------------------------------
// The import

namespace {

std::string Counted(const char* before, int64_t count, const char* after) {
    return before + std::to_string(count) + after;
}

class DxfImport {
public:
    DxfImport(DxfPairReader& file, DrawingStore& store, const DxfReadSettings& settings,
              DxfReadReport& report)
        : file_(file), store_(store), settings_(settings), report_(report) {}

    void Run();
    void Notes(bool readFailed);

private:
    enum class Kind { None, Line, Circle, Arc, Text, Vertex };
    // Groups whose value was refused as not finite or too large, one bit each.
    enum : unsigned { kX0 = 1, kY0 = 2, kX1 = 4, kY1 = 8, kRadius = 16, kStart = 32, kEnd = 64 };

    bool OnEntityName(std::string_view name);  // true at "EOF"
    void FinishPending();
    void AddVertex();
    void OnLayer(std::string_view layer);
    void FlushPolyline();
    void SetReal(const DxfGroupValue& v, double& target, unsigned bit);

    DxfPairReader& file_;
    DrawingStore& store_;
    const DxfReadSettings& settings_;
    DxfReadReport& report_;

    // Values carry over from one entity to the next unless the entity gives its own.
    Kind pending_ = Kind::None;
    bool seqend_ = false;
    bool started_ = false;
    unsigned refused_ = 0;
    double x0_ = 0.0, y0_ = 0.0, x1_ = 0.0, y1_ = 0.0;
    double radius_ = 0.0, start_ = 0.0, end_ = 0.0;
    std::string textValue_;
    std::string previousLayer_;

    struct Vertex {
        double x, y;
    };
    std::vector<Vertex> vertices_;
    bool verticesOverflow_ = false;
    bool verticesNoMemory_ = false;
    SplineData spline_;

    bool endMark_ = false;
    bool lostAtEnd_ = false;
    int64_t badValueEntities_ = 0;
    int64_t unconverted_ = 0;
    int64_t largePolylines_ = 0;
    int64_t largeSplines_ = 0;
    int64_t unreadableSplines_ = 0;
    int64_t noMemory_ = 0;
    int64_t refusedTexts_ = 0;
};

void DxfImport::Run() {
    DxfGroupValue v;
    for (;;) {
        const int code = ReadGroupPair(file_, v);
        switch (code) {
            case -1:
                lostAtEnd_ = pending_ != Kind::None;
                return;
            case 0:
                if (OnEntityName(v.text)) return;
                break;
            case 1:
                textValue_.assign(v.text);
                break;
            case 8:
                OnLayer(v.text);
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
            case 40:
                SetReal(v, radius_, kRadius);
                break;
            case 50:
                SetReal(v, start_, kStart);
                break;
            case 51:
                SetReal(v, end_, kEnd);
                break;
            default:  // z values, colours, flags, handles, ... and pairs of no interest
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

bool DxfImport::OnEntityName(std::string_view name) {
    if (started_) ++report_.entities;
    started_ = true;
    FinishPending();
    pending_ = Kind::None;
    refused_ = 0;
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
    } else if (name == "EOF") {
        endMark_ = true;
        return true;
    } else if (name == "SPLINE") {
        // Its own pairs, up to the next entity's code-0 pair, which comes back to this loop.
        switch (ConvertSpline(file_, store_, settings_, spline_)) {
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
    switch (pending_) {
        case Kind::Line:
            store_.AppendLine(x0_, y0_, x1_, y1_);
            break;
        case Kind::Circle:
            store_.AppendCircle(x0_, y0_, radius_, 0.0, 0.0);
            break;
        case Kind::Arc:
            store_.AppendCircle(x0_, y0_, radius_, start_, end_);
            break;
        case Kind::Text:
            if (!store_.AppendText(x0_, y0_, textValue_, radius_, start_)) ++refusedTexts_;
            break;
        case Kind::Vertex:
            AddVertex();
            break;
        case Kind::None:
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
        vertices_.push_back({x0_, y0_});
    } catch (const std::bad_alloc&) {
        verticesNoMemory_ = true;
        std::vector<Vertex>().swap(vertices_);
        ShowMessage("vertexメモリ確保に失敗しました");
    }
}

void DxfImport::OnLayer(std::string_view layer) {
    if (layer != previousLayer_ || seqend_) FlushPolyline();
    previousLayer_.assign(layer);
}

void DxfImport::FlushPolyline() {
    if (verticesOverflow_) {
        ++largePolylines_;
    } else if (verticesNoMemory_) {
        ++noMemory_;
    } else {
        for (std::size_t i = 1; i < vertices_.size(); ++i)
            store_.AppendLine(vertices_[i - 1].x, vertices_[i - 1].y, vertices_[i].x,
                              vertices_[i].y);
    }
    vertices_.clear();
    verticesOverflow_ = verticesNoMemory_ = false;
    seqend_ = false;
}

void DxfImport::Notes(bool readFailed) {
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
    if (refusedTexts_)
        notes.push_back(Counted("メモリが足りないため ", refusedTexts_,
                                " 個のテキストを読み飛ばしました"));
    if (unconverted_)
        notes.push_back(Counted("値を読み取れないグループ ", unconverted_, " 組を無視しました"));
    if (file_.pairsWithoutCode)
        notes.push_back(Counted("グループコードが整数でないグループ ", file_.pairsWithoutCode,
                                " 組を読み飛ばしました"));
    if (file_.overlongPairs)
        notes.push_back(
            Counted("長すぎる行を含むグループ ", file_.overlongPairs, " 組を読み飛ばしました"));
}

void Import(DxfPairReader& file, DrawingStore& store, const DxfReadSettings& settings,
            DxfReadReport& report, const bool* readFailed) {
    report = DxfReadReport{};
    store.ClearStore();
    DxfImport import(file, store, settings, report);
    import.Run();
    import.Notes(readFailed && *readFailed);
}

}  // namespace

void ImportDxfBytes(std::string_view bytes, DrawingStore& store, const DxfReadSettings& settings,
                    DxfReadReport& report) {
    DxfPairReader file(bytes);
    Import(file, store, settings, report, nullptr);
}

bool ImportDxfFile(const std::string& path, DrawingStore& store, const DxfReadSettings& settings,
                   DxfReadReport& report, const DxfProgress& progress) {
    ChunkedFile in;
    if (!in.Open(path)) return false;
    ProgressPacer pacer(
        progress ? std::function<void()>([&] { progress(in.Done(), in.Total(), report.entities); })
                 : std::function<void()>());
    bool readFailed = false;
    DxfPairReader file([&]() -> std::string_view {
        std::string_view chunk = in.Next();
        if (chunk.empty())
            readFailed = in.ReadFailed();
        else
            pacer.Tick();
        return chunk;
    });
    Import(file, store, settings, report, &readFailed);
    pacer.Tick(true);
    return true;
}
