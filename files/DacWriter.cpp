// The dac writer: a drawing's records formatted in slices of the tables, in parallel when large.
#include <algorithm>
#include <cstdint>
#include <string>

#include "files/DacFile.h"
#include "files/ShiftJis.h"
#include "files/SliceWriter.h"
#include "files/TextFileIo.h"
#include "model/DrawingStore.h"

namespace {

// Room for a line, circle or point record and its style record: at most five numbers, the
// slot numbers, kinds and colours, blanks and line ends.
constexpr std::size_t kRecordRoom = 5 * (kMaxFixed6Chars + 1) + 256;
// Slots per slice, about 1 MiB of records; a slice lies within one block of the store's
// tables.
constexpr std::size_t kSliceSlots = 16384;
static_assert(SlotTable<PointElement>::kBlock % kSliceSlots == 0 &&
              SlotTable<LineElement>::kBlock % kSliceSlots == 0 &&
              SlotTable<CircleElement>::kBlock % kSliceSlots == 0);
// Texts per slice: a drawing holds few, but one text can be long.
constexpr std::size_t kSliceTexts = 4096;
// Below this many slots (about 4 MB of records) the calling thread formats everything: the
// threads would cost more than they save.
constexpr std::size_t kInlineSlots = 4 * kSliceSlots;

char* PutEnd(char* p) {  // CR LF, as files of this program always end their lines
    p[0] = '\r';
    p[1] = '\n';
    return p + 2;
}
char* PutFixed(char* p, double v) {
    *p = ' ';
    return WriteFixed6(p + 1, p + 1 + kMaxFixed6Chars, v);
}
char* PutInt(char* p, int64_t v, int width = 0) {
    *p = ' ';
    return WriteInt(p + 1, v, width);
}

// The style record after an element record, only where the style is not the default. The
// fill colour of an element that is not filled shows nowhere and makes no record.
char* PutStyle(char* p, int32_t colour, int32_t penWidth, int32_t fillStyle, int32_t fillColour) {
    if (colour == kDacDefaultColour && penWidth == 1 && fillStyle == 1) return p;
    *p++ = 'S';
    for (int32_t v : {colour, penWidth, fillStyle, fillColour}) p = PutInt(p, v);
    return PutEnd(p);
}

char* PutLine(char* p, int32_t i, const LineElement& l) {
    if (!l.alive) return p;
    *p++ = 'L';
    p = PutInt(p, i, 5);
    for (double v : {l.x1, l.y1, l.x2, l.y2}) p = PutFixed(p, v);
    p = PutEnd(p);
    return PutStyle(p, l.colour, l.penWidth, 1, kDacDefaultColour);
}

char* PutCircle(char* p, int32_t i, const CircleElement& c) {
    if (!c.alive) return p;
    *p++ = 'C';
    p = PutInt(p, i, 5);
    for (double v : {c.cx, c.cy, c.radius, c.startAngle, c.endAngle}) p = PutFixed(p, v);
    p = PutEnd(p);
    return PutStyle(p, c.colour, c.penWidth, c.fillStyle, c.fillColour);
}

// Every point slot, free ones included: the file carries the point table as it stands.
char* PutPoint(char* p, int32_t i, const PointElement& s) {
    *p++ = 'P';
    p = PutInt(p, i, 5);
    p = PutInt(p, s.kind);
    p = PutInt(p, s.owner1Kind);
    p = PutInt(p, s.owner1Index, 5);
    p = PutInt(p, s.owner2Kind);
    p = PutInt(p, s.owner2Index, 5);
    p = PutFixed(p, s.x);
    p = PutFixed(p, s.y);
    return PutEnd(p);
}

// The text after one blank in code page 932 bytes, with %XX for the bytes that would break
// the record's line or its escapes.
char* PutText(SliceBuffer& out, char* p, const TextElement& x) {
    static const char hex[] = "0123456789ABCDEF";
    const std::string bytes = EncodeCodePage932Text(x.text);
    p = out.Room(p, kRecordRoom + 3 * bytes.size());
    *p++ = 'T';
    for (double v : {x.x, x.y, x.height, x.angle}) p = PutFixed(p, v);
    p = PutInt(p, x.colour);
    *p++ = ' ';
    for (unsigned char c : bytes) {
        if (c < 0x20 || c == 0x7F || c == '%') {
            p[0] = '%';
            p[1] = hex[c >> 4];
            p[2] = hex[c & 15];
            p += 3;
        } else {
            *p++ = char(c);
        }
    }
    return PutEnd(p);
}

// Slots first to last - 1 within one block of a table, read from the block itself; the
// slots past those the block holds are fresh.
template <class T>
void FormatSlots(const SlotTable<T>& table, std::size_t first, std::size_t last, SliceBuffer& out,
                 char* (*put)(char*, int32_t, const T&)) {
    const T* block = table.BlockOf(first);
    const std::size_t base = first & ~SlotTable<T>::kMask;
    const std::size_t held = std::min(last, base + table.ReadyIn(first));
    char* p = out.Start();
    std::size_t i = first;
    for (; i < held; ++i) {
        p = out.Room(p, kRecordRoom);
        p = put(p, int32_t(i), block[i - base]);
    }
    for (; i < last; ++i) {
        p = out.Room(p, kRecordRoom);
        p = put(p, int32_t(i), SlotTable<T>::Fresh());
    }
    out.Finish(p);
}

// The file's records in their order (lines, circles, texts, points), cut into slices that
// can be formatted each on its own.
class DacSlices {
public:
    explicit DacSlices(const DrawingStore& store)
        : store_(store),
          // The counters never pass the tables' ends, but a bound on the table costs nothing.
          lines_(Slots(store.lineTop, store.lines().size())),
          circles_(Slots(store.circleTop, store.circles().size())),
          points_(Slots(store.pointTop, store.points().size())),
          texts_(std::size_t(std::max(store.textCount, 0))) {}

    std::size_t Count() const {
        return Slices(lines_, kSliceSlots) + Slices(circles_, kSliceSlots) +
               Slices(texts_, kSliceTexts) + Slices(points_, kSliceSlots);
    }
    std::size_t Records() const { return lines_ + circles_ + texts_ + points_; }
    SliceFormatter Formatter() const {
        return [this](std::size_t k, SliceBuffer& out) { Format(k, out); };
    }

    void Format(std::size_t k, SliceBuffer& out) const {
        if (k < Slices(lines_, kSliceSlots))
            return FormatSlots(store_.lines(), k * kSliceSlots,
                               std::min(lines_, (k + 1) * kSliceSlots), out, PutLine);
        k -= Slices(lines_, kSliceSlots);
        if (k < Slices(circles_, kSliceSlots))
            return FormatSlots(store_.circles(), k * kSliceSlots,
                               std::min(circles_, (k + 1) * kSliceSlots), out, PutCircle);
        k -= Slices(circles_, kSliceSlots);
        if (k < Slices(texts_, kSliceTexts)) {
            char* p = out.Start();
            for (std::size_t i = k * kSliceTexts; i < std::min(texts_, (k + 1) * kSliceTexts); ++i)
                if (store_.text(int32_t(i)).alive) p = PutText(out, p, store_.text(int32_t(i)));
            return out.Finish(p);
        }
        k -= Slices(texts_, kSliceTexts);
        FormatSlots(store_.points(), k * kSliceSlots, std::min(points_, (k + 1) * kSliceSlots), out,
                    PutPoint);
    }

private:
    static std::size_t Slots(int32_t top, std::size_t size) {
        return std::size_t(std::clamp<int64_t>(int64_t(top) + 1, 0, int64_t(size)));
    }
    static std::size_t Slices(std::size_t n, std::size_t per) { return (n + per - 1) / per; }

    const DrawingStore& store_;
    const std::size_t lines_, circles_, points_, texts_;
};

// The slices formatted on one thread per core once the drawing is large enough to pay for it.
int DacWorkers(const DacSlices& slices) {
    return slices.Records() < kInlineSlots ? 0 : SliceWorkers();
}

}  // namespace

bool WriteDacRecords(const DrawingStore& store, const std::function<bool(std::string_view)>& sink) {
    const DacSlices slices(store);
    return WriteSlicesInOrder(slices.Count(), slices.Formatter(), sink, DacWorkers(slices));
}

bool SaveDacFile(const std::string& path, const DrawingStore& store) {
    return SaveFileAtomicallyPlaced(path, [&store](const PlacedSink& sink) {
        const DacSlices slices(store);
        return WriteSlicesPlaced(slices.Count(), slices.Formatter(), sink, DacWorkers(slices));
    });
}
