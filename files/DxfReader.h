// The DXF reader: group pairs of an ASCII DXF file, and the import of its lines, arcs, texts and
// polylines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class DrawingStore;

struct DxfReadSettings {  // the main window's tuning values
    double splineResolution = 5.0;
    double arcAngleMin = 140.0;
    double arcAngleMax = 170.0;
    // The most vertices one polyline, or control points one spline, may have; a larger one
    // is skipped. It keeps the memory of an import bounded whatever a file declares (tests
    // lower it).
    int64_t maxEntityPoints = 4'000'000;
    // The most elements block references may make in one import; copies of copies of blocks
    // grow fast, and a file of a few lines could otherwise ask for more than any memory.
    int64_t maxInsertedElements = 20'000'000;
};

struct DxfReadReport {
    int64_t entities = 0;            // entities finished (recognised or not)
    std::vector<std::string> notes;  // what was not read, one short Japanese sentence each
    // Why a file was not read at all, when it was opened and then refused (a binary DXF);
    // the store is then untouched.
    std::string refusal;
};

// Called now and then (about every 1 MiB, at most a few hundred times a second) with the
// bytes read so far, the file's size and the entities so far.
using DxfProgress = std::function<void(int64_t done, int64_t total, int64_t entities)>;

// Opens the file; false when it cannot be opened or read at all, or is refused (the store is
// then untouched; `report.refusal` says why a file that opened was refused). Otherwise clears the store (ClearStore), reads the whole file into it with the
// bulk appends and returns true.
bool ImportDxfFile(const std::string& path, DrawingStore& store, const DxfReadSettings& settings,
                   DxfReadReport& report, const DxfProgress& progress = {});
// The same on bytes in memory: clears the store first, unless the bytes are refused (false).
bool ImportDxfBytes(std::string_view bytes, DrawingStore& store, const DxfReadSettings& settings,
                    DxfReadReport& report);

// Reals beyond this magnitude are refused like values that are not numbers: from about there
// the kernel's products overflow, and every element appended would report arithmetic faults.
inline constexpr double kDxfMaxMagnitude = 1e15;
// No group of interest has a value line this long; a longer line makes its pair one of no
// interest, and is never held in memory whole.
inline constexpr std::size_t kDxfMaxLineBytes = std::size_t(64) << 10;

// The value of one group pair, converted by its code.
struct DxfGroupValue {
    // Codes up to 9 and 100, 101 and 999: the first word of the value line, or for code 1 (a
    // text's string) the whole line without its line end. It views the reader's buffer and
    // holds until the next pair is read.
    std::string_view text;
    // Codes up to 9: the whole value line without its line end (names with blanks, text
    // chunks); it holds as `text` does.
    std::string_view line;
    double real = 0.0;    // codes 10 to 59 and 210 to 239
    int32_t integer = 0;  // codes 60 to 79 and 90 to 99
    // False when the value line holds no number of the group's kind; the value fields are
    // then meaningless and the group's previous value stands.
    bool converted = false;
};

// The lines of a DXF file, read in place from memory or from chunks streamed off a file.
class DxfPairReader {
public:
    explicit DxfPairReader(std::string_view bytes);
    // `next` hands over the file's bytes chunk by chunk, an empty chunk at the end.
    explicit DxfPairReader(std::function<std::string_view()> next);
    ~DxfPairReader();
    DxfPairReader(const DxfPairReader&) = delete;
    DxfPairReader& operator=(const DxfPairReader&) = delete;

    // The next line without its '\n' (a '\r' before it stays); false at the end of the data.
    // A line longer than kDxfMaxLineBytes comes back empty with `overlong` set. The view
    // holds until the next call.
    bool NextLine(std::string_view& line, bool& overlong);
    // The next ReadGroupPair returns the pair it returned last once more.
    void HandBack() { handedBack_ = true; }

    // Pairs skipped because of their lines, for the user's notes.
    int64_t overlongPairs = 0;
    int64_t pairsWithoutCode = 0;

private:
    friend int ReadGroupPair(DxfPairReader& file, DxfGroupValue& value);
    bool Fetch();

    std::function<std::string_view()> next_;
    std::string_view chunk_;
    std::size_t pos_ = 0;
    std::string pending_;  // a line that runs over the end of a chunk
    bool pendingHandedOut_ = false;
    bool overlong_ = false;
    bool ended_ = false;
    bool handedBack_ = false;
    int lastCode_ = -1;
    DxfGroupValue last_;
};

// Reads the next pair and returns its group code; -1 at the end of the data, -999 for a pair
// that was read and is not of interest (also a code line holding no integer, a code of -1,
// an overlong line). Pairs of codes 1000 and above (extended data) are passed over.
int ReadGroupPair(DxfPairReader& file, DxfGroupValue& value);

// Reads the pairs of one entity: `take` sees each until the next code-0 pair, which is handed
// back to the main loop, or the end of the data.
template <typename Take>
void DxfReadPairs(DxfPairReader& file, Take take) {
    DxfGroupValue v;
    for (;;) {
        const int code = ReadGroupPair(file, v);
        if (code == -1) return;
        if (code == 0) {
            file.HandBack();
            return;
        }
        take(code, v);
    }
}

// A name's value line without the blanks around it.
std::string_view DxfName(std::string_view line);

// The first bytes of a binary DXF file.
inline constexpr std::string_view kBinaryDxfSentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

// True for a real the reader lets reach the store.
inline bool DxfRealUsable(double v) { return v >= -kDxfMaxMagnitude && v <= kDxfMaxMagnitude; }
