// The native "dac" drawing file: the record parser and the readers.
#include "files/DacFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "files/ShiftJis.h"
#include "files/TextFileIo.h"
#include "model/DrawingStore.h"

namespace {

// "S colour penWidth fillStyle fillColour", each within what the drawing can show.
bool ParseStyle(std::string_view line, DacStyle& s) {
    const char* p = line.data() + 1;
    const char* end = line.data() + line.size();
    double v[4];
    for (double& x : v) {
        p = SkipSpace(p, end);
        if (!ParseNumber(p, end, x) || x != std::trunc(x)) return false;
    }
    if (!(v[0] >= 0 && v[0] <= 255 && v[1] >= 1 && v[1] <= 64 && (v[2] == 0 || v[2] == 1) &&
          v[3] >= 0 && v[3] <= 255))
        return false;
    s.colour = int32_t(v[0]);
    s.penWidth = int32_t(v[1]);
    s.fillStyle = int32_t(v[2]);
    s.fillColour = int32_t(v[3]);
    return p == end || IsCSpace(*p);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "T x y height angle colour text".
bool ParseText(std::string_view line, DacText& t) {
    const char* p = line.data() + 1;
    const char* end = line.data() + line.size();
    double v[5];
    for (double& x : v) {
        p = SkipSpace(p, end);
        if (!ParseNumber(p, end, x) || !(std::fabs(x) <= kDacMaxMagnitude)) return false;
    }
    if (!(v[2] > 0) || v[4] != std::trunc(v[4]) || v[4] < 0 || v[4] > 255) return false;
    if (p != end && *p != ' ') return false;
    if (p != end) ++p;  // the one blank before the text
    t = DacText{v[0], v[1], v[2], v[3], int32_t(v[4]), {}};
    for (; p != end; ++p) {
        if (*p != '%') {
            t.text += *p;
            continue;
        }
        if (end - p < 3 || HexDigit(p[1]) < 0 || HexDigit(p[2]) < 0) return false;
        t.text += char(HexDigit(p[1]) * 16 + HexDigit(p[2]));
        p += 2;
    }
    t.text = DecodeCodePage932Text(t.text);
    return true;
}

LineSplitter RecordSplitter(std::vector<DacRecord>& out, DacExtras* extras) {
    return LineSplitter(kDacMaxLineBytes, [&out, extras, styleTarget = size_t(0),
                                           hasTarget = false](std::string_view whole) mutable {
        // Old files end their lines with a CR alone.
        while (!whole.empty()) {
            const size_t cr = whole.find('\r');
            std::string_view line = whole.substr(0, cr);
            whole = cr == std::string_view::npos ? std::string_view() : whole.substr(cr + 1);
            line = line.substr(0, line.find('\0'));  // read as C strings: a NUL ends the text
            if (line.empty()) continue;
            DacRecord r;
            const bool element = ParseDacLine(line, r);
            const bool target = hasTarget;
            hasTarget = element;
            if (element) {
                out.push_back(r);
                styleTarget = out.size() - 1;
                continue;
            }
            if (!extras) continue;
            DacStyle s;
            DacText t;
            if (line[0] == 'S' && target && ParseStyle(line, s)) {
                s.record = styleTarget;
                extras->styles.push_back(s);
            } else if (line[0] == 'T' && ParseText(line, t)) {
                extras->texts.push_back(std::move(t));
            } else if (line[0] != 'P') {
                ++extras->skippedLines;
            }
        }
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

void ReadDacBytes(std::string_view bytes, std::vector<DacRecord>& out, DacExtras* extras) {
    out.clear();
    if (extras) *extras = DacExtras{};
    LineSplitter splitter = RecordSplitter(out, extras);
    splitter.Feed(bytes);
    splitter.Finish();
}

bool ReadDacFile(const std::string& path, std::vector<DacRecord>& out, DacExtras* extras) {
    out.clear();
    if (extras) *extras = DacExtras{};
    LineSplitter splitter = RecordSplitter(out, extras);
    if (ReadFileLines(path, splitter)) return true;
    out.clear();
    if (extras) *extras = DacExtras{};
    return false;
}

void AppendDacRecords(DrawingStore& store, const std::vector<DacRecord>& records,
                      const std::function<void(int64_t, int64_t)>& progress,
                      const DacExtras* extras) {
    const int64_t total = int64_t(records.size());
    // A file with styles or texts was written with its styles: what has none has the defaults.
    const bool styled = extras && extras->Styled();
    size_t nextStyle = 0;
    for (int64_t i = 0; i < total; ++i) {
        const DacRecord& r = records[size_t(i)];
        const bool isLine = r.kind == 'L';
        const int32_t slot = isLine ? store.lineCur : store.circleCur;
        const bool in = isLine ? store.AppendLine(r.v[0], r.v[1], r.v[2], r.v[3])
                               : r.kind == 'C' &&
                                     store.AppendCircle(r.v[0], r.v[1], r.v[2], r.v[3], r.v[4]);
        if (styled && in) {
            DacStyle s{size_t(i), kDacDefaultColour, 1, 1, kDacDefaultColour};
            while (nextStyle < extras->styles.size() && extras->styles[nextStyle].record < size_t(i))
                ++nextStyle;
            if (nextStyle < extras->styles.size() && extras->styles[nextStyle].record == size_t(i))
                s = extras->styles[nextStyle];
            if (isLine)
                store.StyleLine(slot, s.colour, s.penWidth);
            else
                store.StyleCircle(slot, s.colour, s.penWidth, uint8_t(s.fillStyle), s.fillColour);
        }
        if (progress && (i & 4095) == 4095) progress(i + 1, total);
    }
    if (!extras) return;
    for (const DacText& t : extras->texts)
        if (store.AppendText(t.x, t.y, t.text, t.height, t.angle) && store.textCount > 0)
            store.text(store.textCount - 1).colour = t.colour;
}
