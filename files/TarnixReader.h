// The Tarnix import: line and arc records of the other program's binary drawing files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class DrawingStore;

struct TarnixReadReport {
    int32_t count = 0;               // N as the file gives it (the caller prints the trace line)
    int64_t records = 0;             // records read
    bool complete = false;           // false: the file ended early (premature end)
    std::vector<std::string> notes;  // what was not taken over, one short Japanese sentence each
};

// Called now and then (about every 1 MiB, at most a few hundred times a second, and once at
// the end) with the bytes read so far, the file's size and the records so far.
using TarnixProgress = std::function<void(int64_t done, int64_t total, int64_t records)>;

// The records start after a fixed header: 12 bytes, the count, 386 blocks of 16 bytes and
// 12 bytes more, none of them used.
inline constexpr int64_t kTarnixHeaderBytes = 6204;

// Reals beyond this magnitude make their record one to skip, like reals that are not
// numbers: from about there the kernel's products overflow, and every element appended
// would report arithmetic faults.
inline constexpr double kTarnixMaxMagnitude = 1e15;

// Opens the file; false when it cannot be opened (the store is then untouched). Otherwise
// clears the store and reads the records into it with AppendLine/AppendCircle; returns true
// even when the file ends early (report.complete is then false and the caller shows
// "ファイル読み込みに失敗しました"; the elements read before stay).
bool ImportTarnixFile(const std::string& path, DrawingStore& store, TarnixReadReport& report,
                      const TarnixProgress& progress = {});
// The same on bytes in memory (tests, fuzz); clears the store first.
void ImportTarnixBytes(std::string_view bytes, DrawingStore& store, TarnixReadReport& report);
// The same on bytes that `next` hands over chunk by chunk, an empty chunk at the end; a chunk
// must stay valid until the next call. Clears the store first.
void ImportTarnixChunks(const std::function<std::string_view()>& next, DrawingStore& store,
                        TarnixReadReport& report);
