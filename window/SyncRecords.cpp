// The blocks in which two copies keep one drawing: writing and reading them.
#include "window/SyncRecords.h"

#include <cmath>
#include <cstring>

#include "files/DacFile.h"

namespace syncwire {

Writer::Writer(Kind kind) {
    U32(kMagic);
    U8(kind);
}

void Writer::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
}

void Writer::U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
}

void Writer::F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U64(bits);
}

void Writer::PatchU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + size_t(i)] = uint8_t(v >> (8 * i));
}

bool Reader::Need(size_t n) {
    if (!ok_ || n_ - at_ < n) ok_ = false;
    return ok_;
}

uint8_t Reader::Kind() {
    if (U32() != kMagic) return 0;
    const uint8_t kind = U8();
    return ok_ ? kind : 0;
}

uint8_t Reader::U8() { return Need(1) ? p_[at_++] : 0; }

uint32_t Reader::U32() {
    if (!Need(4)) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(p_[at_ + size_t(i)]) << (8 * i);
    at_ += 4;
    return v;
}

uint64_t Reader::U64() {
    if (!Need(8)) return 0;
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= uint64_t(p_[at_ + size_t(i)]) << (8 * i);
    at_ += 8;
    return v;
}

double Reader::F64() {
    const uint64_t bits = U64();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::string Reader::Raw(size_t n) {
    if (!Need(n)) return {};
    std::string s(reinterpret_cast<const char*>(p_ + at_), n);
    at_ += n;
    return s;
}

void PutLine(Writer& w, char type, uint64_t id, const LineElement& l) {
    w.U8(uint8_t(type));
    w.U64(id);
    w.U32(uint32_t(l.colour));
    w.U32(uint32_t(l.penWidth));
    for (double v : {l.x1, l.y1, l.x2, l.y2}) w.F64(v);
}

void PutCircle(Writer& w, char type, uint64_t id, const CircleElement& c) {
    w.U8(uint8_t(type));
    w.U64(id);
    w.U32(uint32_t(c.colour));
    w.U32(uint32_t(c.penWidth));
    w.U8(c.fillStyle);
    w.U32(uint32_t(c.fillColour));
    for (double v : {c.cx, c.cy, c.radius, c.startAngle, c.endAngle}) w.F64(v);
}

void PutText(Writer& w, const TextElement& t) {
    // The bytes go as they are stored, whatever their encoding.
    w.U8(uint8_t(kText));
    w.U32(uint32_t(t.colour));
    for (double v : {t.x, t.y, t.height, t.angle}) w.F64(v);
    w.U32(uint32_t(t.text.size()));
    w.Raw(t.text);
}

bool GetRecord(Reader& r, ElementRecord& e) {
    e.type = char(r.U8());
    switch (e.type) {
        case kLineAdd:
        case kLineDelete: {
            e.id = r.U64();
            LineElement& l = e.line;
            l.colour = int32_t(r.U32());
            l.penWidth = int32_t(r.U32());
            l.x1 = r.F64(), l.y1 = r.F64(), l.x2 = r.F64(), l.y2 = r.F64();
            break;
        }
        case kCircleAdd:
        case kCircleDelete: {
            e.id = r.U64();
            CircleElement& c = e.circle;
            c.colour = int32_t(r.U32());
            c.penWidth = int32_t(r.U32());
            c.fillStyle = r.U8();
            c.fillColour = int32_t(r.U32());
            c.cx = r.F64(), c.cy = r.F64(), c.radius = r.F64();
            c.startAngle = r.F64(), c.endAngle = r.F64();
            break;
        }
        case kText: {
            TextElement& t = e.text;
            t.colour = int32_t(r.U32());
            t.x = r.F64(), t.y = r.F64(), t.height = r.F64(), t.angle = r.F64();
            const uint32_t n = r.U32();
            if (n > r.left()) return false;
            t.text = r.Raw(n);
            break;
        }
        default:
            return false;
    }
    return r.ok();
}

namespace {

bool Within(std::initializer_list<double> values) {
    for (double v : values)
        if (!(std::fabs(v) <= kDacMaxMagnitude)) return false;  // NaN fails too
    return true;
}

bool StyleOk(int32_t colour, int32_t penWidth) {
    return colour >= 0 && colour <= 255 && penWidth >= 1 && penWidth <= 64;
}

}  // namespace

bool Storable(const ElementRecord& e) {
    switch (e.type) {
        case kLineAdd:
        case kLineDelete: {
            const LineElement& l = e.line;
            return e.id != 0 && StyleOk(l.colour, l.penWidth) && Within({l.x1, l.y1, l.x2, l.y2});
        }
        case kCircleAdd:
        case kCircleDelete: {
            const CircleElement& c = e.circle;
            return e.id != 0 && StyleOk(c.colour, c.penWidth) && c.fillStyle <= 1 &&
                   c.fillColour >= 0 && c.fillColour <= 255 &&
                   Within({c.cx, c.cy, c.radius, c.startAngle, c.endAngle});
        }
        case kText: {
            const TextElement& t = e.text;
            return t.colour >= 0 && t.colour <= 255 && Within({t.x, t.y, t.height, t.angle});
        }
        default:
            return false;
    }
}

}  // namespace syncwire
