// The DXF writer (Mtrans): the section and entity texts, the drawing's export and its save.
#include "files/DxfWriter.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>

#include "files/DxfText.h"
#include "model/DrawingStore.h"

namespace {

void Put(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

// Like printf's "%*d": right-aligned in blanks, never cut.
void PutInt(std::string& out, int64_t v, int width) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    const int length = int(end - digits);
    if (length < width) out.append(size_t(width - length), ' ');
    Put(out, std::string_view(digits, size_t(length)));
}

void Group(std::string& out, int code, std::string_view value) {
    PutInt(out, code, 3);
    Put(out, value);
}

void IntGroup(std::string& out, int code, int value) {
    PutInt(out, code, 3);
    PutInt(out, value, 6);
}

// "%.6lf" in the C locale: the decimal comma of some locales would make the file unreadable,
// and fixed notation keeps large coordinates free of exponents. 1e308 takes 316 characters.
void RealGroup(std::string& out, int code, double v) {
    PutInt(out, code, 3);
    char text[400];
    const char* end = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6).ptr;
    Put(out, std::string_view(text, size_t(end - text)));
}

struct LineType {
    const char* name;
    const char* description;
    int items;
    const char* length;
    const char* dashes[6];
};

constexpr LineType kLineTypes[] = {
    {"CONTINUOUS", "SOLID", 0, "0.0", {}},
    {"DASHED", "__ __ __ __ __ __ __ __ __ __ __ __ __ __ __", 2, "10.0", {"7.0", "-3.0"}},
    {"HIDDEN", "_ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _ _", 2, "5.0", {"4.0", "-1.0"}},
    {"CENTER",
     "____ _ ____ _ ____ _ ____ _ ____ _ ____ _ ____",
     4,
     "7.0",
     {"4.0", "-1.0", "1.0", "-1.0"}},
    {"PHANTOM",
     "_____ _ _ _____ _ _ _____ _ _ _____ _ _ ____",
     6,
     "9.0",
     {"4.0", "-1.0", "1.0", "-1.0", "1.0", "-1.0"}},
    {"DOT", "...............................................", 2, "5.0", {"1.0", "-4.0"}},
};

}  // namespace

bool NeedsCodePage932(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

void WriteDxfHeader(std::string& out, bool codePage932) {
    out.clear();
    Group(out, 0, "SECTION");
    Group(out, 2, "HEADER");
    if (codePage932) {
        // Readers take a file without a version for a recent one, whose texts are UTF-8, and
        // then ignore the code page; the version of this file's layout makes them honour it.
        Group(out, 9, "$ACADVER");
        Group(out, 1, "AC1009");
        Group(out, 9, "$DWGCODEPAGE");
        Group(out, 3, "ANSI_932");
    }
    Group(out, 0, "ENDSEC");
}

void WriteDxfTables(std::string& out) {
    out.clear();
    Group(out, 0, "SECTION");
    Group(out, 2, "TABLES");
    Group(out, 0, "TABLE");
    Group(out, 2, "LTYPE");
    IntGroup(out, 70, 6);
    for (const LineType& t : kLineTypes) {
        Group(out, 0, "LTYPE");
        Group(out, 2, t.name);
        IntGroup(out, 70, 64);
        Group(out, 3, t.description);
        IntGroup(out, 72, 65);
        IntGroup(out, 73, t.items);
        Group(out, 40, t.length);
        for (int i = 0; i < t.items; ++i) Group(out, 49, t.dashes[i]);
    }
    Group(out, 0, "ENDTAB");
    Group(out, 0, "TABLE");
    Group(out, 2, "LAYER");
    IntGroup(out, 70, 2);
    for (const char* name : {"0", "1"}) {
        Group(out, 0, "LAYER");
        Group(out, 2, name);
        IntGroup(out, 70, 64);
        IntGroup(out, 62, 7);
        Group(out, 6, "CONTINUOUS");
    }
    Group(out, 0, "ENDTAB");
    Group(out, 0, "ENDSEC");
}

void WriteDxfBlocks(std::string& out) {
    out.clear();
    Group(out, 0, "SECTION");
    Group(out, 2, "BLOCKS");
    Group(out, 0, "ENDSEC");
}

void WriteDxfPrologue(std::string& out, bool codePage932) {
    std::string piece;
    WriteDxfHeader(piece, codePage932);
    out = piece;
    WriteDxfTables(piece);
    out += piece;
    WriteDxfBlocks(piece);
    out += piece;
    Group(out, 0, "SECTION");
    Group(out, 2, "ENTITIES");
}

void WriteDxfLine(std::string& out, double x1, double y1, double x2, double y2) {
    out.clear();
    Group(out, 0, "LINE");
    Group(out, 8, "1");
    Group(out, 6, "CONTINUOUS");
    RealGroup(out, 10, x1);
    RealGroup(out, 20, y1);
    Group(out, 30, "0.0");
    RealGroup(out, 11, x2);
    RealGroup(out, 21, y2);
    Group(out, 31, "0.0");
}

void WriteDxfCircle(std::string& out, double cx, double cy, double r) {
    out.clear();
    Group(out, 0, "CIRCLE");
    Group(out, 8, "0");
    Group(out, 6, "CONTINUOUS");
    RealGroup(out, 10, cx);
    RealGroup(out, 20, cy);
    Group(out, 30, "0.0");
    RealGroup(out, 40, r);
}

void WriteDxfArc(std::string& out, double cx, double cy, double r, double start, double end) {
    out.clear();
    Group(out, 0, "ARC");
    Group(out, 8, "0");
    Group(out, 6, "CONTINUOUS");
    RealGroup(out, 10, cx);
    RealGroup(out, 20, cy);
    Group(out, 30, "0.0");
    RealGroup(out, 40, r);
    RealGroup(out, 50, start);
    RealGroup(out, 51, end);
}

void WriteDxfText(std::string& out, double x, double y, double height, std::string_view text,
                  double angle) {
    out.clear();
    Group(out, 0, "TEXT");
    Group(out, 8, "0");
    Group(out, 6, "CONTINUOUS");
    RealGroup(out, 10, x);
    RealGroup(out, 20, y);
    Group(out, 30, "0.0");
    RealGroup(out, 40, height);
    PutInt(out, 1, 3);
    // Code page 932 trail bytes start at 0x40, so a CR or LF byte is never part of a character.
    const size_t at = out.size();
    Put(out, EncodeDxfText(text));
    std::replace_if(
        out.begin() + std::ptrdiff_t(at), out.end() - 2,
        [](char c) { return c == '\r' || c == '\n'; }, ' ');
    RealGroup(out, 50, angle);
}

void WriteDxfEnd(std::string& out) {
    out.clear();
    Group(out, 0, "ENDSEC");
    Group(out, 0, "EOF");
}

bool WriteDxfRecords(const DrawingStore& store, const TextSink& sink) {
    const int32_t texts = store.textCount;
    bool codePage932 = false;
    for (int32_t i = 0; i < texts && !codePage932; ++i)
        codePage932 = store.text(i).alive && NeedsCodePage932(store.text(i).text);

    ChunkWriter writer(sink);
    std::string piece;
    WriteDxfPrologue(piece, codePage932);
    if (!writer.Put(piece)) return false;
    // The tables by iterator, as the scans do; the counters never pass the tables' ends.
    const auto& lines = store.lines();
    int64_t count = std::min<int64_t>(int64_t(store.lineTop) + 1, int64_t(lines.size()));
    auto line = lines.begin();
    for (int64_t i = 0; i < count; ++i, ++line) {
        if (!line->alive) continue;
        WriteDxfLine(piece, line->x1, line->y1, line->x2, line->y2);
        if (!writer.Put(piece)) return false;
    }
    const auto& circles = store.circles();
    count = std::min<int64_t>(int64_t(store.circleTop) + 1, int64_t(circles.size()));
    auto circle = circles.begin();
    for (int64_t i = 0; i < count; ++i, ++circle) {
        const CircleElement& c = *circle;
        if (!c.alive) continue;
        if (c.startAngle != c.endAngle)
            WriteDxfArc(piece, c.cx, c.cy, c.radius, c.startAngle, c.endAngle);
        else
            WriteDxfCircle(piece, c.cx, c.cy, c.radius);
        if (!writer.Put(piece)) return false;
    }
    for (int32_t i = 0; i < texts; ++i) {
        const TextElement& t = store.text(i);
        if (!t.alive) continue;
        WriteDxfText(piece, t.x, t.y, t.height, t.text, t.angle);
        if (!writer.Put(piece)) return false;
    }
    WriteDxfEnd(piece);
    return writer.Put(piece) && writer.Flush();
}

bool SaveDxfFile(const std::string& path, const DrawingStore& store) {
    return SaveFileAtomically(
        path, [&store](const TextSink& sink) { return WriteDxfRecords(store, sink); });
}
