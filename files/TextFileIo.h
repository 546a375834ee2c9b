// Line-oriented text files: locale-free numbers, line splitting, chunked and atomic writing.
#pragma once

class QFile;

#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The C locale's white space, whatever locale the process runs in.
inline bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline const char* SkipSpace(const char* p, const char* end) {
    while (p != end && IsCSpace(*p)) ++p;
    return p;
}

// Reads a number at `p` as strtod does in the C locale, from its longest valid prefix:
// optional sign, decimal digits with an optional point and exponent, hexadecimal ("0x"),
// inf and nan; advances `p` past it. A value too large for a double reads as infinity, one
// too small as zero. False when no number starts at `p`.
bool ParseNumber(const char*& p, const char* end, double& value);

// Cuts a stream of bytes into lines at '\n' and hands each to `onLine` without its line
// feed (a '\r' before it stays: callers ignore it). Only the line being assembled is held,
// and none past `maxLine` bytes: an overlong line is dropped whole up to its line feed,
// never cut into pieces that could read as lines of their own. The last line may lack its
// line feed.
class LineSplitter {
public:
    LineSplitter(std::size_t maxLine, std::function<void(std::string_view)> onLine)
        : maxLine_(maxLine), onLine_(std::move(onLine)) {}
    void Feed(std::string_view chunk);
    void Finish();

private:
    std::size_t maxLine_;
    std::function<void(std::string_view)> onLine_;
    std::string pending_;
    bool overlong_ = false;
};

// A file read in chunks of 1 MiB, for readers that must not hold a whole file. Open reads
// the first chunk already: a folder opens but cannot be read, and a reader should find that
// out before it clears the drawing.
class ChunkedFile {
public:
    ChunkedFile();
    ~ChunkedFile();
    // False when the file cannot be opened or its first read fails.
    bool Open(const std::string& path);
    // The next chunk; empty at the end of the file and after a read error.
    std::string_view Next();
    bool ReadFailed() const { return readFailed_; }
    int64_t Done() const { return done_; }
    int64_t Total() const { return total_; }

private:
    std::unique_ptr<QFile> file_;
    std::unique_ptr<char[]> chunk_;
    int64_t got_ = 0, done_ = 0, total_ = 0;
    bool first_ = true, readFailed_ = false;
};

// Hands progress on at most every 4 ms, unless told it is the last call: a window that
// repaints in the call must not spend its time repainting.
class ProgressPacer {
public:
    explicit ProgressPacer(std::function<void()> call) : call_(std::move(call)) {}
    void Tick(bool last = false);

private:
    std::function<void()> call_;
    std::chrono::steady_clock::time_point lastCall_{};
};

// Streams a file through `splitter` in chunks of 1 MiB, calling `progress` (if given) after
// each chunk with the bytes read so far and the file's size. False when the file cannot be
// opened or a read fails (a folder, an I/O error).
bool ReadFileLines(const std::string& path, LineSplitter& splitter,
                   const std::function<void(int64_t done, int64_t total)>& progress = {});

// Gives back the pages of the file at `path` that the system keeps in memory, unless it is
// the file at `except`; the file itself is untouched (pages not yet on the disk stay). A
// file about to be replaced by a large new one frees its pages before the new one's are
// made, so that those are made from memory just freed (fresh memory from the system costs
// several times as much on a virtual machine that hands free memory back to its host), and
// the rename that replaces it has no pages left to free.
void DropCachedPages(const std::string& path, const std::string& except = {});

// Writes v as printf's %.6lf does in the C locale (the exact binary value rounded to six
// decimals, ties to even) and returns the end of what it wrote. The usual coordinate is
// rounded in integer arithmetic; very large values, infinities and NaNs go to
// std::to_chars, which writes the same characters more slowly. Up to 8 bytes after what it
// wrote may be overwritten, within `end`.
char* WriteFixed6(char* p, char* end, double v);
// The most WriteFixed6 writes: a minus, the 309 digits of the largest double, the point and
// six decimals.
inline constexpr std::size_t kMaxFixed6Chars = 317;

// WriteInt for anything but a single digit.
char* WriteIntSlow(char* p, int64_t v, int width);
// Writes v as printf's %d does, or %5d with width 5 (right-aligned in blanks), and returns
// the end. It needs room for 24 bytes, or `width` if more: up to 8 bytes after what it
// wrote may be overwritten.
inline char* WriteInt(char* p, int64_t v, int width = 0) {
    if (uint64_t(v) < 10 && width <= 1) {  // kinds and colours: one digit
        *p = char('0' + v);
        return p + 1;
    }
    if (uint64_t(v) - 10 < 90 && width <= 2) {  // the kinds of a point's owners: two
        p[0] = char('0' + v / 10);
        p[1] = char('0' + v % 10);
        return p + 2;
    }
    return WriteIntSlow(p, v, width);
}

// One record's text, built without printf so that no locale can change it.
class RecordText {
public:
    void Char(char c) { *p_++ = c; }
    void Text(std::string_view s);  // cut at the buffer's end
    // Like printf's %d, or %5d with width 5: right-aligned in blanks.
    void Int(int64_t v, int width = 0) { p_ = WriteInt(p_, v, width); }
    // Like printf's %lf in the C locale: fixed-point, six decimals, correctly rounded (ties
    // to even on the exact binary value) and a full stop, whatever locale the process has.
    void Fixed(double v) { p_ = WriteFixed6(p_, text_ + kRoom, v); }
    void End() {  // CR LF, as files of this program always end their lines
        *p_++ = '\r';
        *p_++ = '\n';
    }
    std::string_view View() const { return {text_, std::size_t(p_ - text_)}; }

private:
    // 2 KiB holds five doubles of the largest magnitude in fixed notation; the margin keeps
    // the line end and a few characters after the last number in bounds.
    static constexpr std::size_t kRoom = 2048;
    char text_[kRoom + 64];
    char* p_ = text_;
};

using TextSink = std::function<bool(std::string_view)>;

// Gathers records into chunks of about 1 MiB for the sink: a drawing with millions of
// points is never held as one string.
class ChunkWriter {
public:
    explicit ChunkWriter(const TextSink& sink) : sink_(sink) { buffer_.reserve(kChunk + 4096); }
    bool Put(std::string_view text) {
        buffer_.append(text);
        return buffer_.size() < kChunk || Flush();
    }
    bool Put(const RecordText& r) { return Put(r.View()); }
    bool Flush() {
        bool ok = buffer_.empty() || sink_(buffer_);
        buffer_.clear();
        return ok;
    }

private:
    static constexpr std::size_t kChunk = std::size_t(1) << 20;
    const TextSink& sink_;
    std::string buffer_;
};

// Replaces `path` by a complete new file written through `write`: a temporary file beside
// it, renamed over it only when every byte is written. False when anything fails; an
// existing file at `path` is then untouched and no temporary file stays.
bool SaveFileAtomically(const std::string& path, const std::function<bool(const TextSink&)>& write);

// Writes `bytes` at byte `at` of a file; called from several threads at once for parts that
// do not overlap. False when the writing failed.
using PlacedSink = std::function<bool(std::string_view bytes, int64_t at)>;
// The same for a file whose parts are written where they belong, in any order: the file
// is every byte up to the end of the last part, and `write` must place them all.
bool SaveFileAtomicallyPlaced(const std::string& path,
                              const std::function<bool(const PlacedSink&)>& write);
