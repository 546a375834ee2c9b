// The DXF reader: the line and pair reader, and the single pass that imports a file's entities.
#include "files/DxfReader.h"

#include <atomic>
#include <bit>
#include <cstring>
#include <new>
#include <thread>

#include "files/DxfImport.h"
#include "files/DxfStoreFeed.h"
#include "files/TextFileIo.h"
#include "kernel/UserPrompts.h"
#include "model/DrawingStore.h"

// ---------------------------------------------------------------------------------------------
// Lines and pairs

DxfPairReader::DxfPairReader(std::string_view bytes) : chunk_(bytes) {}

DxfPairReader::DxfPairReader(std::function<std::string_view()> next) : next_(std::move(next)) {}

DxfPairReader::~DxfPairReader() = default;

bool DxfPairReader::Fetch() {
    if (ended_ || !next_) {
        ended_ = true;
        return false;
    }
    chunk_ = next_();
    pos_ = 0;
    if (chunk_.empty()) ended_ = true;
    return !ended_;
}

namespace {

// The first '\n' in [p, end), or null. Most lines of a DXF file are a few bytes long: eight
// bytes at a time without a call is quicker than memchr for them.
const char* FindLineFeed(const char* p, const char* end) {
    constexpr uint64_t kLows = 0x7F7F7F7F7F7F7F7Full;
    constexpr uint64_t kFeeds = 0x0A0A0A0A0A0A0A0Aull;
    for (; end - p >= 8; p += 8) {
        uint64_t w;
        std::memcpy(&w, p, sizeof w);
        w ^= kFeeds;  // a line feed becomes a zero byte
        // The high bit of exactly the zero bytes, with no carry from one byte to the next.
        if (const uint64_t zero = ~(((w & kLows) + kLows) | w | kLows)) {
            if constexpr (std::endian::native == std::endian::little)
                return p + (std::countr_zero(zero) >> 3);
            return p + (std::countl_zero(zero) >> 3);
        }
    }
    for (; p != end; ++p)
        if (*p == '\n') return p;
    return nullptr;
}

}  // namespace

bool DxfPairReader::NextLine(std::string_view& line, bool& overlong) {
    if (pendingHandedOut_) {
        pending_.clear();
        pendingHandedOut_ = false;
    }
    for (;;) {
        const char* p = chunk_.data() + pos_;
        const std::size_t rest = chunk_.size() - pos_;
        const char* nl = FindLineFeed(p, p + rest);
        if (nl) {
            const std::size_t length = std::size_t(nl - p);
            pos_ += length + 1;
            if (overlong_ || pending_.size() + length > kDxfMaxLineBytes) {
                overlong_ = false;
                pending_.clear();
                line = {};
                overlong = true;
                return true;
            }
            overlong = false;
            if (pending_.empty()) {
                // The common case: the whole line lies in this chunk and is read in place.
                line = {p, length};
            } else {
                pending_.append(p, length);
                line = pending_;
                pendingHandedOut_ = true;
            }
            return true;
        }
        // The line runs on into the next chunk: keep its start, unless it is already too
        // long to be of interest, in which case only the fact is kept.
        if (!overlong_) {
            if (pending_.size() + rest > kDxfMaxLineBytes) {
                overlong_ = true;
                pending_.clear();
            } else {
                pending_.append(p, rest);
            }
        }
        pos_ = chunk_.size();
        if (!Fetch()) {
            // The last line may lack its line feed.
            if (overlong_) {
                overlong_ = false;
                line = {};
                overlong = true;
                return true;
            }
            if (pending_.empty()) return false;
            line = pending_;
            overlong = false;
            pendingHandedOut_ = true;
            return true;
        }
    }
}

namespace {

// The line as a C string would see it: up to its first NUL.
std::string_view UpToNul(std::string_view s) {
    const void* nul = std::memchr(s.data(), '\0', s.size());
    return nul ? s.substr(0, std::size_t(static_cast<const char*>(nul) - s.data())) : s;
}

// A decimal integer as scanf's %d reads it: blanks, a sign, digits; what follows is ignored.
bool ParseInteger(std::string_view s, int32_t& out) {
    const char* p = SkipSpace(s.data(), s.data() + s.size());
    const char* end = s.data() + s.size();
    // The usual group code: a few digits, which cannot leave the range below ten of them.
    if (p != end && IsDigit(*p)) {
        const char* q = p;
        uint32_t v = 0;
        for (; q != end && q - p < 9 && IsDigit(*q); ++q) v = v * 10 + uint32_t(*q - '0');
        if (q == end || !IsDigit(*q)) {
            out = int32_t(v);
            return true;
        }
    }
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end || !IsDigit(*p)) return false;
    int64_t v = 0;
    for (; p != end && IsDigit(*p); ++p) {
        v = v * 10 + (*p - '0');
        if (v > int64_t(1) << 31) return false;  // beyond any int32
    }
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return false;
    out = int32_t(v);
    return true;
}

// The first blank-delimited word; empty for a blank line.
std::string_view FirstWord(std::string_view s) {
    s = UpToNul(s);
    const char* end = s.data() + s.size();
    const char* p = SkipSpace(s.data(), end);
    const char* q = p;
    while (q != end && !IsCSpace(*q)) ++q;
    return {p, std::size_t(q - p)};
}

bool ParseReal(std::string_view s, double& out) {
    const char* end = s.data() + s.size();
    const char* p = SkipSpace(s.data(), end);
    return ParseNumber(p, end, out);
}

}  // namespace

std::string_view DxfName(std::string_view line) {
    while (!line.empty() && IsCSpace(line.back())) line.remove_suffix(1);
    while (!line.empty() && IsCSpace(line.front())) line.remove_prefix(1);
    return line;
}

int ReadGroupPair(DxfPairReader& file, DxfGroupValue& value) {
    if (file.handedBack_) {
        file.handedBack_ = false;
        value = file.last_;
        return file.lastCode_;
    }
    for (;;) {
        std::string_view codeLine, valueLine;
        bool codeOverlong = false, valueOverlong = false;
        if (!file.NextLine(codeLine, codeOverlong)) return -1;
        int32_t code = 0;
        // Parsed before the value line is read: the view may not outlive the next line.
        const bool haveCode = !codeOverlong && ParseInteger(codeLine, code);
        if (!file.NextLine(valueLine, valueOverlong)) return -1;
        if (haveCode && code >= 1000) continue;  // extended data
        // Built in locals and written out to both copies alike: copying `value` into
        // `last_` as a whole right after writing it field by field makes the processor wait
        // for the writes to land, for every pair.
        std::string_view text, line;
        double real = 0.0;
        int32_t integer = 0;
        bool converted = false;
        int result = -999;
        if (codeOverlong || valueOverlong) {
            ++file.overlongPairs;
        } else if (!haveCode) {
            ++file.pairsWithoutCode;
        } else if (code == -1) {
            // Only the end of the data ends the reading.
        } else if (code == 1) {
            text = UpToNul(valueLine);
            if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
            converted = true;
            result = code;
        } else if (code <= 9 || code == 100 || code == 101 || code == 999) {
            text = FirstWord(valueLine);
            line = UpToNul(valueLine);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            converted = true;
            result = code;
        } else if ((code >= 10 && code <= 59) || (code >= 210 && code <= 239)) {
            converted = ParseReal(valueLine, real);
            result = code;
        } else if ((code >= 60 && code <= 79) || (code >= 90 && code <= 99)) {
            converted = ParseInteger(valueLine, integer);
            result = code;
        }
        file.lastCode_ = result;
        value = DxfGroupValue{text, line, real, integer, converted};
        file.last_ = DxfGroupValue{text, line, real, integer, converted};
        return result;
    }
}

// ---------------------------------------------------------------------------------------------
// The import

namespace {

const char* const kBinaryRefusal =
    "バイナリ形式の DXF ファイルは読み込めません。DXF を ASCII 形式で保存し直してから開いてください";

}  // namespace

bool ImportDxfBytes(std::string_view bytes, DrawingStore& store, const DxfReadSettings& settings,
                    DxfReadReport& report) {
    if (bytes.substr(0, kBinaryDxfSentinel.size()) == kBinaryDxfSentinel) {
        report = DxfReadReport{};
        report.refusal = kBinaryRefusal;
        return false;
    }
    DxfPairReader file(bytes);
    report = DxfReadReport{};
    store.ClearStore();
    DxfStoreSink sink(store);
    DxfImport import(file, sink, settings, report, [](const std::string& m) { ShowMessage(m); });
    import.Run();
    import.Notes(false, sink.refusedTexts);
    return true;
}

namespace {

// The import of a file on a thread of its own, reading the file and making the elements,
// while the calling thread puts them into the store. The store's work (the grid, the
// crossings, the snap points) and the reading take about as long as each other on a large
// drawing, so the two processors share the load.
class ThreadedImport {
public:
    ThreadedImport(ChunkedFile& in, std::string_view first, const DxfReadSettings& settings,
                   DxfReadReport& report)
        : in_(in),
          held_(first),
          file_([this] { return NextChunk(); }),
          import_(file_, feed_, settings, report,
                  [this](const std::string& m) { feed_.Tell(m); }),
          report_(report) {}
    ~ThreadedImport() {
        // Also when the store's side gives up half-way (a cancelled load): the import
        // stops at its next hand-over.
        if (worker_.joinable()) {
            feed_.Stop();
            worker_.join();
        }
    }
    // Runs the import to the end, `apply` taking each block on this thread as it comes.
    template <class Apply>
    void Run(Apply apply) {
        worker_ = std::thread([this] {
            bool failed = false;
            try {
                import_.Run();
            } catch (const DxfStoreFeed::Stopped&) {
                return;
            } catch (...) {
                failed = true;  // out of memory on this thread: the data ends here
            }
            feed_.Finish(report_.entities, failed);
        });
        while (const DxfStoreBlock* block = feed_.Take()) apply(*block);
        worker_.join();
    }
    bool readFailed() const { return readFailed_ || feed_.failed(); }
    int64_t done() const { return done_.load(std::memory_order_relaxed); }
    DxfImport& import() { return import_; }

private:
    // On the import's thread: each new chunk hands the elements made so far over, so that
    // the progress moves with the bytes read even where they make nothing.
    std::string_view NextChunk() {
        feed_.Flush(report_.entities);
        std::string_view chunk = first_ ? held_ : in_.Next();
        first_ = false;
        if (chunk.empty()) readFailed_ = in_.ReadFailed();
        done_.store(in_.Done(), std::memory_order_relaxed);
        return chunk;
    }

    ChunkedFile& in_;
    std::string_view held_;
    bool first_ = true;
    bool readFailed_ = false;
    std::atomic<int64_t> done_{0};
    DxfStoreFeed feed_;
    DxfPairReader file_;
    DxfImport import_;
    DxfReadReport& report_;
    std::thread worker_;
};

}  // namespace

bool ImportDxfFile(const std::string& path, DrawingStore& store, const DxfReadSettings& settings,
                   DxfReadReport& report, const DxfProgress& progress) {
    ChunkedFile in;
    if (!in.Open(path)) return false;
    // The first chunk decides before the store is touched.
    std::string_view held = in.Next();
    if (held.substr(0, kBinaryDxfSentinel.size()) == kBinaryDxfSentinel) {
        report = DxfReadReport{};
        report.refusal = kBinaryRefusal;
        return false;
    }
    report = DxfReadReport{};
    store.ClearStore();
    DxfStoreSink sink(store);
    ThreadedImport reading(in, held, settings, report);
    int64_t entities = 0;
    const int64_t total = in.Total();
    ProgressPacer pacer(progress ? std::function<void()>([&] {
        progress(reading.done(), total, entities);
    })
                                 : std::function<void()>());
    reading.Run([&](const DxfStoreBlock& block) {
        ApplyStoreBlock(block, sink);
        entities = block.entities;
        pacer.Tick();
    });
    entities = report.entities;
    pacer.Tick(true);
    reading.import().Notes(reading.readFailed(), sink.refusedTexts);
    return true;
}
