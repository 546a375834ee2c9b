// The native "dac" drawing file: the record parser, the readers, the writer and the save.
#include "files/DacFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "files/TextFileIo.h"
#include "model/DrawingStore.h"

namespace {

LineSplitter RecordSplitter(std::vector<DacRecord>& out) {
    return LineSplitter(kDacMaxLineBytes, [&out](std::string_view line) {
        DacRecord r;
        if (ParseDacLine(line, r)) out.push_back(r);
    });
}

}  // namespace

bool ParseDacLine(std::string_view line, DacRecord& out) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // The records were always read as C strings: a NUL ends the text.
    line = line.substr(0, line.find('\0'));
    if (line.empty() || (line[0] != 'L' && line[0] != 'C')) return false;
    const char* p = line.data();
    const char* end = p + line.size();
    // The record letter's token, which may run on ("Lxyz").
    while (p != end && !IsCSpace(*p)) ++p;
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
    LineSplitter splitter = RecordSplitter(out);
    splitter.Feed(bytes);
    splitter.Finish();
}

bool ReadDacFile(const std::string& path, std::vector<DacRecord>& out) {
    out.clear();
    LineSplitter splitter = RecordSplitter(out);
    if (ReadFileLines(path, splitter)) return true;
    out.clear();
    return false;
}

void AppendDacRecords(DrawingStore& store, const std::vector<DacRecord>& records,
                      const std::function<void(int64_t, int64_t)>& progress) {
    const int64_t total = int64_t(records.size());
    for (int64_t i = 0; i < total; ++i) {
        const DacRecord& r = records[size_t(i)];
        if (r.kind == 'L')
            store.AppendLine(r.v[0], r.v[1], r.v[2], r.v[3]);
        else if (r.kind == 'C')
            store.AppendCircle(r.v[0], r.v[1], r.v[2], r.v[3], r.v[4]);
        if (progress && (i & 4095) == 4095) progress(i + 1, total);
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
    return SaveFileAtomically(
        path, [&store](const TextSink& sink) { return WriteDacRecords(store, sink); });
}
