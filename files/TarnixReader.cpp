// The Tarnix import: a cursor over the file's chunks, the records, the report.
#include "files/TarnixReader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "files/TextFileIo.h"
#include "kernel/Mcalc.h"
#include "model/DrawingStore.h"

namespace {

// The bytes of a file seen through one chunk at a time. Every read asks for an exact number
// of bytes and fails when the data ends before it has them all: a record cut short would
// otherwise be taken over with whatever its missing bytes happened to hold.
class ChunkCursor {
public:
    explicit ChunkCursor(const std::function<std::string_view()>& next) : next_(next) {}

    bool Read(unsigned char* out, std::size_t n) { return Take(out, n); }
    bool Skip(std::size_t n) { return Take(nullptr, n); }

    // Past the zero byte that ends a text, however long the text is.
    bool SkipText() {
        for (;;) {
            if (pos_ == chunk_.size() && !Fetch()) return false;
            const char* at = chunk_.data() + pos_;
            const void* zero = std::memchr(at, 0, chunk_.size() - pos_);
            if (zero) {
                pos_ += std::size_t(static_cast<const char*>(zero) - at) + 1;
                return true;
            }
            pos_ = chunk_.size();
        }
    }

private:
    bool Take(unsigned char* out, std::size_t n) {
        while (n > 0) {
            if (pos_ == chunk_.size() && !Fetch()) return false;
            const std::size_t take = std::min(n, chunk_.size() - pos_);
            if (out) {
                std::memcpy(out, chunk_.data() + pos_, take);
                out += take;
            }
            pos_ += take;
            n -= take;
        }
        return true;
    }

    bool Fetch() {
        if (ended_) return false;
        chunk_ = next_();
        pos_ = 0;
        ended_ = chunk_.empty();
        return !ended_;
    }

    const std::function<std::string_view()>& next_;
    std::string_view chunk_;
    std::size_t pos_ = 0;
    bool ended_ = false;
};

uint64_t LittleEndian(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

double Real(const unsigned char* p) { return std::bit_cast<double>(LittleEndian(p, 8)); }

bool Usable(std::initializer_list<double> values) {
    for (double v : values)
        if (!(std::fabs(v) <= kTarnixMaxMagnitude)) return false;
    return true;
}

class TarnixImport {
public:
    TarnixImport(ChunkCursor& in, DrawingStore& store, TarnixReadReport& report)
        : in_(in), store_(store), report_(report) {}

    void Run() {
        unsigned char head[16];
        if (!in_.Read(head, sizeof head)) return;
        report_.count = static_cast<int32_t>(LittleEndian(head + 12, 4));
        std::printf("num : %d\n", report_.count);
        std::fflush(stdout);
        if (!in_.Skip(std::size_t(kTarnixHeaderBytes) - sizeof head)) return;
        // The count only bounds the loop: each record reads at least its kind byte, so a
        // count far beyond the file ends at the file's end.
        for (int32_t i = 0; i < report_.count; ++i) {
            if (!Record()) return;
            ++report_.records;
        }
        report_.complete = true;
    }

    void Notes() {
        if (badValues_)
            report_.notes.push_back("値が大きすぎるか数でない図形 " + std::to_string(badValues_) +
                                    " 個を読み飛ばしました");
    }

private:
    // False at a premature end.
    bool Record() {
        unsigned char kind;
        if (!in_.Read(&kind, 1)) return false;
        if (kind == 0) return true;
        if (kind == '[') return in_.Skip(83);
        const int low = kind & 0x0F;
        if (!in_.Skip(23)) return false;
        if (low == 5) return in_.Skip(5 * 8) && in_.SkipText();
        unsigned char body[7 * 8];
        if (!in_.Read(body, sizeof body)) return false;
        double v[7];
        for (int k = 0; k < 7; ++k) v[k] = Real(body + 8 * k);
        if (low == 1) Line(v);
        if (low == 2) Arc(v);
        return true;
    }

    void Line(const double* v) {
        // The last three reals of a line record are not used, so they cannot spoil it.
        if (!Usable({v[0], v[1], v[2], v[3]})) {
            ++badValues_;
            return;
        }
        store_.AppendLine(v[0], v[1], v[2], v[3]);
    }

    void Arc(const double* v) {
        if (!Usable({v[0], v[1], v[2], v[3], v[4], v[5], v[6]})) {
            ++badValues_;
            return;
        }
        const double cx = v[4], cy = v[5], r = v[6];
        double start, end;
        PointAngleDeg(v[0], v[1], cx, cy, start);
        PointAngleDeg(v[2], v[3], cx, cy, end);
        // The store's arcs run counter-clockwise; a negative radius runs the other way.
        if (r < 0) std::swap(start, end);
        store_.AppendCircle(cx, cy, std::fabs(r), start, end);
    }

    ChunkCursor& in_;
    DrawingStore& store_;
    TarnixReadReport& report_;
    int64_t badValues_ = 0;
};

}  // namespace

void ImportTarnixChunks(const std::function<std::string_view()>& next, DrawingStore& store,
                        TarnixReadReport& report) {
    report = TarnixReadReport{};
    store.ClearStore();
    ChunkCursor in(next);
    TarnixImport import(in, store, report);
    import.Run();
    import.Notes();
}

void ImportTarnixBytes(std::string_view bytes, DrawingStore& store, TarnixReadReport& report) {
    bool given = false;
    ImportTarnixChunks(
        [&]() -> std::string_view {
            if (given) return {};
            given = true;
            return bytes;
        },
        store, report);
}

bool ImportTarnixFile(const std::string& path, DrawingStore& store, TarnixReadReport& report,
                      const TarnixProgress& progress) {
    ChunkedFile in;
    if (!in.Open(path)) return false;
    ProgressPacer pacer(
        progress ? std::function<void()>([&] { progress(in.Done(), in.Total(), report.records); })
                 : std::function<void()>());
    ImportTarnixChunks(
        [&]() -> std::string_view {
            std::string_view chunk = in.Next();
            if (!chunk.empty()) pacer.Tick();
            return chunk;
        },
        store, report);
    if (in.ReadFailed())
        report.notes.push_back(
            "ファイルの読み込み中にエラーが発生したため、途中で読み込みを終えました");
    pacer.Tick(true);
    return true;
}
