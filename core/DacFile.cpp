// The native "dac" drawing file: the record parser, the readers, the writer and the save.
#include "core/DacFile.h"

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "core/DrawingStore.h"

namespace {

// The C locale's white space, whatever locale the process runs in.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

const char* SkipSpace(const char* p, const char* end) {
    while (p != end && IsSpace(*p)) ++p;
    return p;
}

// For a number from_chars found out of range: true when it is too small for a double (it
// reads as zero, as with strtod), false when too large. The digits and the exponent give
// the order of magnitude to within one unit, which is all the sign of it needs; `hex`
// counts in bits (four a digit) against a binary exponent.
bool Underflows(const char* p, const char* end, bool hex) {
    const int64_t unit = hex ? 4 : 1;
    auto digit = [&](char c) { return hex ? IsHexDigit(c) : IsDigit(c); };
    while (p != end && *p == '0') ++p;
    int64_t magnitude = 0;
    int64_t intDigits = 0;
    while (p != end && digit(*p)) ++intDigits, ++p;
    if (p != end && *p == '.') ++p;
    if (intDigits > 0) {
        magnitude = intDigits * unit;
        while (p != end && digit(*p)) ++p;
    } else {
        int64_t zeros = 0;
        while (p != end && *p == '0') ++zeros, ++p;
        if (p == end || !digit(*p)) return true;  // all zeros: never out of range, but small
        magnitude = -(zeros + 1) * unit;
        while (p != end && digit(*p)) ++p;
    }
    int64_t exponent = 0;
    if (p != end && (*p == (hex ? 'p' : 'e') || *p == (hex ? 'P' : 'E'))) {
        ++p;
        bool negative = false;
        if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
        // Saturates far beyond any digit count a line can hold.
        while (p != end && IsDigit(*p)) {
            exponent = std::min<int64_t>(exponent * 10 + (*p - '0'), int64_t(1) << 40);
            ++p;
        }
        if (negative) exponent = -exponent;
    }
    return magnitude + exponent < 0;
}

// Reads a number at `p` as strtod does in the C locale, from its longest valid prefix:
// optional sign, decimal digits with an optional point and exponent, hexadecimal ("0x"),
// inf and nan. False when no number starts at `p`.
bool ParseNumber(const char*& p, const char* end, double& value) {
    const char* s = p;
    bool negative = false;
    if (s != end && (*s == '+' || *s == '-')) negative = *s++ == '-';
    // from_chars takes a minus of its own, strtod only one sign.
    if (s == end || *s == '+' || *s == '-') return false;
    double v = 0.0;
    bool hex = false;
    std::from_chars_result r{s, std::errc::invalid_argument};
    if (end - s > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X') &&
        (IsHexDigit(s[2]) || (s[2] == '.' && end - s > 3 && IsHexDigit(s[3])))) {
        hex = true;
        s += 2;
        r = std::from_chars(s, end, v, std::chars_format::hex);
    } else {
        r = std::from_chars(s, end, v);
    }
    if (r.ec == std::errc::invalid_argument) return false;
    if (r.ec == std::errc::result_out_of_range) v = Underflows(s, r.ptr, hex) ? 0.0 : HUGE_VAL;
    p = r.ptr;
    value = negative ? -v : v;
    return true;
}

// Cuts a stream of bytes into lines and parses each. Only the line being assembled is held,
// and none past kDacMaxLineBytes: an overlong line is dropped up to its line feed, never cut
// into pieces that could read as records of their own.
class LineReader {
public:
    explicit LineReader(std::vector<DacRecord>& out) : out_(out) {}

    void Feed(std::string_view chunk) {
        size_t pos = 0;
        for (size_t nl; (nl = chunk.find('\n', pos)) != std::string_view::npos; pos = nl + 1) {
            std::string_view piece = chunk.substr(pos, nl - pos);
            if (overlong_) {
                overlong_ = false;
            } else if (pending_.empty()) {
                // The common case: the whole line lies in this chunk and is read in place.
                if (piece.size() <= kDacMaxLineBytes) Line(piece);
            } else if (pending_.size() + piece.size() <= kDacMaxLineBytes) {
                pending_.append(piece);
                Line(pending_);
            }
            pending_.clear();
        }
        std::string_view rest = chunk.substr(pos);
        if (overlong_ || rest.empty()) return;
        if (pending_.size() + rest.size() > kDacMaxLineBytes) {
            overlong_ = true;
            std::string().swap(pending_);
            return;
        }
        pending_.append(rest);
    }

    // The last line may lack its line feed.
    void Finish() {
        if (!overlong_ && !pending_.empty()) Line(pending_);
        pending_.clear();
        overlong_ = false;
    }

private:
    void Line(std::string_view line) {
        DacRecord r;
        if (ParseDacLine(line, r)) out_.push_back(r);
    }

    std::vector<DacRecord>& out_;
    std::string pending_;
    bool overlong_ = false;
};

// One record's text; 2 KiB holds five doubles of the largest magnitude in fixed notation.
class RecordText {
public:
    void Char(char c) { *p_++ = c; }
    // Like printf's %d, or %5d with width 5: right-aligned in blanks.
    void Int(int64_t v, int width = 0) {
        char digits[24];
        auto r = std::to_chars(digits, digits + sizeof digits, v);
        for (auto n = r.ptr - digits; n < width; ++n) *p_++ = ' ';
        p_ = std::copy(digits, r.ptr, p_);
    }
    // Like printf's %lf in the C locale: fixed-point, six decimals, correctly rounded (ties
    // to even on the exact binary value) and a full stop, whatever locale the process has.
    void Fixed(double v) {
        p_ = std::to_chars(p_, text_ + sizeof text_, v, std::chars_format::fixed, 6).ptr;
    }
    void End() {
        *p_++ = '\r';
        *p_++ = '\n';
    }
    std::string_view View() const { return {text_, size_t(p_ - text_)}; }

private:
    char text_[2048];
    char* p_ = text_;
};

// Gathers records into chunks of about 1 MiB for the sink: a drawing with millions of
// points is never held as one string.
class ChunkWriter {
public:
    explicit ChunkWriter(const std::function<bool(std::string_view)>& sink) : sink_(sink) {
        buffer_.reserve(kChunk + sizeof(RecordText));
    }
    bool Put(const RecordText& r) {
        buffer_.append(r.View());
        return buffer_.size() < kChunk || Flush();
    }
    bool Flush() {
        bool ok = buffer_.empty() || sink_(buffer_);
        buffer_.clear();
        return ok;
    }

private:
    static constexpr size_t kChunk = size_t(1) << 20;
    const std::function<bool(std::string_view)>& sink_;
    std::string buffer_;
};

}  // namespace

bool ParseDacLine(std::string_view line, DacRecord& out) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // The records were always read as C strings: a NUL ends the text.
    line = line.substr(0, line.find('\0'));
    if (line.empty() || (line[0] != 'L' && line[0] != 'C')) return false;
    const char* p = line.data();
    const char* end = p + line.size();
    // The record letter's token, which may run on ("Lxyz").
    while (p != end && !IsSpace(*p)) ++p;
    // The slot index: checked for form, not read; elements go into consecutive slots.
    p = SkipSpace(p, end);
    if (p != end && (*p == '+' || *p == '-')) ++p;
    if (p == end || !IsDigit(*p)) return false;
    while (p != end && IsDigit(*p)) ++p;
    DacRecord r{line[0], {0.0, 0.0, 0.0, 0.0, 0.0}};
    const int count = r.kind == 'L' ? 4 : 5;
    for (int i = 0; i < count; ++i) {
        p = SkipSpace(p, end);
        if (!ParseNumber(p, end, r.v[i]) || !(std::fabs(r.v[i]) <= kDacMaxMagnitude)) return false;
    }
    out = r;
    return true;
}

void ReadDacBytes(std::string_view bytes, std::vector<DacRecord>& out) {
    out.clear();
    LineReader reader(out);
    reader.Feed(bytes);
    reader.Finish();
}

bool ReadDacFile(const std::string& path, std::vector<DacRecord>& out) {
    out.clear();
    QFile file(QString::fromStdString(path));
    // Unbuffered: the chunk below is the only buffer needed.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    std::vector<char> chunk(size_t(1) << 20);
    LineReader reader(out);
    for (;;) {
        qint64 n = file.read(chunk.data(), qint64(chunk.size()));
        if (n < 0) {
            out.clear();
            return false;
        }
        if (n == 0) break;
        reader.Feed(std::string_view(chunk.data(), size_t(n)));
    }
    reader.Finish();
    return true;
}

void AppendDacRecords(DrawingStore& store, const std::vector<DacRecord>& records) {
    for (const DacRecord& r : records) {
        if (r.kind == 'L')
            store.AppendLine(r.v[0], r.v[1], r.v[2], r.v[3]);
        else if (r.kind == 'C')
            store.AppendCircle(r.v[0], r.v[1], r.v[2], r.v[3], r.v[4]);
    }
}

bool WriteDacRecords(const DrawingStore& store, const std::function<bool(std::string_view)>& sink) {
    ChunkWriter writer(sink);
    // The tables by iterator, as the scans do; the counters never pass the tables' ends,
    // but a bound on the table costs nothing.
    const auto& lines = store.lines();
    int64_t count = std::min<int64_t>(int64_t(store.lineTop) + 1, int64_t(lines.size()));
    int32_t i = 0;
    for (auto it = lines.begin(); i < count; ++it, ++i) {
        const LineElement& l = *it;
        if (!l.alive) continue;
        RecordText t;
        t.Char('L');
        t.Char(' ');
        t.Int(i, 5);
        for (double v : {l.x1, l.y1, l.x2, l.y2}) {
            t.Char(' ');
            t.Fixed(v);
        }
        t.End();
        if (!writer.Put(t)) return false;
    }
    const auto& circles = store.circles();
    count = std::min<int64_t>(int64_t(store.circleTop) + 1, int64_t(circles.size()));
    i = 0;
    for (auto it = circles.begin(); i < count; ++it, ++i) {
        const CircleElement& c = *it;
        if (!c.alive) continue;
        RecordText t;
        t.Char('C');
        t.Char(' ');
        t.Int(i, 5);
        for (double v : {c.cx, c.cy, c.radius, c.startAngle, c.endAngle}) {
            t.Char(' ');
            t.Fixed(v);
        }
        t.End();
        if (!writer.Put(t)) return false;
    }
    // Every point slot up to the top, free ones included: the file carries the point table
    // as it stands.
    const auto& points = store.points();
    count = std::min<int64_t>(int64_t(store.pointTop) + 1, int64_t(points.size()));
    i = 0;
    for (auto it = points.begin(); i < count; ++it, ++i) {
        const PointElement& p = *it;
        RecordText t;
        t.Char('P');
        t.Char(' ');
        t.Int(i, 5);
        t.Char(' ');
        t.Int(p.kind);
        t.Char(' ');
        t.Int(p.owner1Kind);
        t.Char(' ');
        t.Int(p.owner1Index, 5);
        t.Char(' ');
        t.Int(p.owner2Kind);
        t.Char(' ');
        t.Int(p.owner2Index, 5);
        t.Char(' ');
        t.Fixed(p.x);
        t.Char(' ');
        t.Fixed(p.y);
        t.End();
        if (!writer.Put(t)) return false;
    }
    return writer.Flush();
}

bool SaveDacFile(const std::string& path, const DrawingStore& store) {
    // QSaveFile writes a temporary file beside the target and renames it over the target
    // only on commit; it never falls back to writing the target in place.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    bool written = WriteDacRecords(store, [&file](std::string_view chunk) {
        return file.write(chunk.data(), qint64(chunk.size())) == qint64(chunk.size());
    });
    if (!written) {
        file.cancelWriting();  // the destructor removes the temporary file
        return false;
    }
    return file.commit();
}
