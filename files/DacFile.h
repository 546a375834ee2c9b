// The native "dac" drawing file: reading its line and circle records, writing a drawing.
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

// One line of a dac file (without its line break; a trailing '\r' is allowed and ignored).
// True for a line or circle record whose numbers are all present, finite and within
// kDacMaxMagnitude.
bool ParseDacLine(std::string_view line, DacRecord& out);
// Reads every record of a file into `out` (cleared first). False when the file cannot be
// opened or a read fails (directory, I/O error); `out` then holds nothing useful and the
// caller keeps its drawing.
bool ReadDacFile(const std::string& path, std::vector<DacRecord>& out);
// The same on bytes already in memory (used by the fuzz target and tests); never fails.
void ReadDacBytes(std::string_view bytes, std::vector<DacRecord>& out);
// Appends the records to the (already cleared) store in file order: AppendLine / AppendCircle;
// `progress`, if given, hears now and then how many records are in.
void AppendDacRecords(DrawingStore& store, const std::vector<DacRecord>& records,
                      const std::function<void(int64_t done, int64_t total)>& progress = {});
// Writes the drawing's records through `sink` in chunks; false as soon as the sink fails.
bool WriteDacRecords(const DrawingStore& store, const std::function<bool(std::string_view)>& sink);
// Replaces `path` by a complete new file (temporary file in the same folder, then rename:
// QSaveFile); false when anything fails, and then an existing file at `path` is untouched.
bool SaveDacFile(const std::string& path, const DrawingStore& store);
