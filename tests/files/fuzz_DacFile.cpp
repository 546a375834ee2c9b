// libFuzzer target: the dac file reader on any bytes, and the writer on what it reads.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "files/DacFile.h"
#include "model/DrawingStore.h"

namespace {

bool Same(const DacRecord& a, const DacRecord& b) {
    return a.kind == b.kind && std::memcmp(a.v, b.v, sizeof a.v) == 0;
}

std::string Write(const DrawingStore& store) {
    std::string text;
    if (!WriteDacRecords(store, [&](std::string_view chunk) {
            text.append(chunk);
            return true;
        }))
        std::abort();
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::vector<DacRecord> records;
    ReadDacBytes(bytes, records);

    // The reader finds exactly the records the lines parse to, one by one.
    size_t next = 0;
    for (size_t pos = 0; pos <= size;) {
        size_t nl = bytes.find('\n', pos);
        if (nl == std::string_view::npos) nl = size;
        // A CR alone ends a line too, as in old files.
        std::string_view line = bytes.substr(pos, nl - pos);
        for (size_t start = 0; start <= line.size();) {
            size_t cr = line.find('\r', start);
            if (cr == std::string_view::npos) cr = line.size();
            DacRecord r;
            if (ParseDacLine(line.substr(start, cr - start), r)) {
                if (next >= records.size() || !Same(records[next], r)) std::abort();
                ++next;
            }
            start = cr + 1;
        }
        pos = nl + 1;
    }
    if (next != records.size()) std::abort();
    for (const DacRecord& r : records) {
        if (r.kind != 'L' && r.kind != 'C') std::abort();
        for (double v : r.v)
            if (!std::isfinite(v)) std::abort();
    }

    static DrawingStore store;
    store.ClearStore();
    AppendDacRecords(store, records);
    const std::string text = Write(store);

    // Every element written reads back, within the six decimals of the file, and the value
    // read prints as the same text again.
    std::vector<DacRecord> again;
    ReadDacBytes(text, again);
    size_t k = 0;
    auto check = [&](char kind, std::initializer_list<double> stored, double* reread) {
        if (k >= again.size() || again[k].kind != kind) std::abort();
        const double* v = again[k].v;
        size_t i = 0;
        for (double s : stored) {
            if (!(std::fabs(v[i] - s) <= 5e-7 + std::fabs(s) * 1e-15)) std::abort();
            reread[i] = v[i];
            ++i;
        }
        ++k;
    };
    for (int32_t i = 0; i <= store.lineTop; ++i) {
        LineElement& l = store.line(i);
        if (!l.alive) continue;
        double v[4];
        check('L', {l.x1, l.y1, l.x2, l.y2}, v);
        l.x1 = v[0], l.y1 = v[1], l.x2 = v[2], l.y2 = v[3];
    }
    for (int32_t i = 0; i <= store.circleTop; ++i) {
        CircleElement& c = store.circle(i);
        if (!c.alive) continue;
        double v[5];
        check('C', {c.cx, c.cy, c.radius, c.startAngle, c.endAngle}, v);
        c.cx = v[0], c.cy = v[1], c.radius = v[2], c.startAngle = v[3], c.endAngle = v[4];
    }
    if (k != again.size() || Write(store) != text) std::abort();
    return 0;
}
