// The native "dac" drawing file: reading its line and circle records, writing a drawing.
//
// Beyond the line ("L"), circle ("C") and point ("P") records, Korvo writes what a drawing
// holds besides geometry as records that readers of the plain format skip (they read only
// "L" and "C"): "S colour penWidth fillStyle fillColour", the style of the element record
// right before it, written only where it differs from the default; and "T x y height angle
// colour text", a text after one blank in code page 932 bytes, "\U+XXXX" for each character
// the code page lacks, with %XX for the bytes below 0x20, 0x7F and '%'. A file holding either reads its unstyled elements with the defaults
// (the fill colour of a circle that is not filled is not kept).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class DrawingStore;

struct DacRecord {
    char kind;    // 'L' or 'C'
    double v[5];  // L: x1 y1 x2 y2 (v[4] unused); C: cx cy radius startAngle endAngle
};

// A line longer than this (bytes before its line feed) is skipped whole by both readers:
// no record is that long, and it keeps a reader from holding an unbounded line in memory.
inline constexpr std::size_t kDacMaxLineBytes = std::size_t(16) << 20;

// Values beyond this magnitude are refused like values that are not numbers. Coordinates
// lose their fifth decimal long before it, and from about 1e77 the products of the
// intersection tests overflow, so that every element appended would report arithmetic
// faults, one message box each.
inline constexpr double kDacMaxMagnitude = 1e15;

// Defaults of the style record: a line or circle without one is white, one pixel wide and,
// for circles, not filled (fill colour white).
inline constexpr int32_t kDacDefaultColour = 7;

struct DacStyle {
    std::size_t record;  // index of the element record in the records read
    int32_t colour, penWidth, fillStyle, fillColour;
};
struct DacText {
    double x, y, height, angle;
    int32_t colour;
    std::string text;  // UTF-8
};
// What a reader finds besides the line and circle records.
struct DacExtras {
    std::vector<DacStyle> styles;
    std::vector<DacText> texts;
    int64_t skippedLines = 0;  // non-empty lines that are no record at all
    bool Styled() const { return !styles.empty() || !texts.empty(); }
};

// One line of a dac file (without its line break; a trailing '\r' is allowed and ignored).
// True for a line or circle record whose numbers are all present, finite and within
// kDacMaxMagnitude.
bool ParseDacLine(std::string_view line, DacRecord& out);
// Reads every record of a file into `out` (cleared first). False when the file cannot be
// opened or a read fails (directory, I/O error); `out` then holds nothing useful and the
// caller keeps its drawing.
// Lines end at LF, CR LF or, as in old files, a CR alone. With `extras`, the styles, texts
// and the count of unreadable lines are gathered too.
bool ReadDacFile(const std::string& path, std::vector<DacRecord>& out, DacExtras* extras = nullptr);
// The same on bytes already in memory (used by the fuzz target and tests); never fails.
void ReadDacBytes(std::string_view bytes, std::vector<DacRecord>& out, DacExtras* extras = nullptr);
// Appends the records to the (already cleared) store in file order: AppendLine / AppendCircle,
// then the styles and texts of `extras`, if given; `progress`, if given, hears now and then
// how many records are in.
void AppendDacRecords(DrawingStore& store, const std::vector<DacRecord>& records,
                      const std::function<void(int64_t done, int64_t total)>& progress = {},
                      const DacExtras* extras = nullptr);
// Writes the drawing's records through `sink` in pieces of at most 1 MiB, each ending at a
// record's end unless one record is longer; a large drawing is formatted on worker threads
// meanwhile (the store is only read). False as soon as the sink fails, which is then not
// called again, or memory runs out.
bool WriteDacRecords(const DrawingStore& store, const std::function<bool(std::string_view)>& sink);
// Replaces `path` by a complete new file (temporary file in the same folder, then rename:
// QSaveFile); false when anything fails, and then an existing file at `path` is untouched.
bool SaveDacFile(const std::string& path, const DrawingStore& store);
