// Line-oriented text files: locale-free numbers, line splitting, chunked and atomic writing.
#include "files/TextFileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <system_error>
#include <vector>

#include "model/TableMemory.h"

namespace {

// How much written data SaveFileAtomically collects before it asks for it to go to the disk.
constexpr int64_t kWriteBehind = int64_t(8) << 20;

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// For a number from_chars found out of range: true when it is too small for a double (it
// reads as zero, as with strtod), false when too large. The digits and the exponent give
// the order of magnitude to within one unit, which is all the sign of it needs; `hex`
// counts in bits (four a digit) against a binary exponent.
bool Underflows(const char* p, const char* end, bool hex) {
    const int64_t unit = hex ? 4 : 1;
    auto digit = [&](char c) { return hex ? IsHexDigit(c) : IsDigit(c); };
    while (p != end && *p == '0') ++p;
    int64_t magnitude = 0;
    int64_t intDigits = 0;
    while (p != end && digit(*p)) ++intDigits, ++p;
    if (p != end && *p == '.') ++p;
    if (intDigits > 0) {
        magnitude = intDigits * unit;
        while (p != end && digit(*p)) ++p;
    } else {
        int64_t zeros = 0;
        while (p != end && *p == '0') ++zeros, ++p;
        if (p == end || !digit(*p)) return true;  // all zeros: never out of range, but small
        magnitude = -(zeros + 1) * unit;
        while (p != end && digit(*p)) ++p;
    }
    int64_t exponent = 0;
    if (p != end && (*p == (hex ? 'p' : 'e') || *p == (hex ? 'P' : 'E'))) {
        ++p;
        bool negative = false;
        if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
        // Saturates far beyond any digit count a line can hold.
        while (p != end && IsDigit(*p)) {
            exponent = std::min<int64_t>(exponent * 10 + (*p - '0'), int64_t(1) << 40);
            ++p;
        }
        if (negative) exponent = -exponent;
    }
    return magnitude + exponent < 0;
}

}  // namespace

bool ParseNumber(const char*& p, const char* end, double& value) {
    const char* s = p;
    bool negative = false;
    if (s != end && (*s == '+' || *s == '-')) negative = *s++ == '-';
    // from_chars takes a minus of its own, strtod only one sign.
    if (s == end || *s == '+' || *s == '-') return false;
    double v = 0.0;
    bool hex = false;
    std::from_chars_result r{s, std::errc::invalid_argument};
    if (end - s > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X') &&
        (IsHexDigit(s[2]) || (s[2] == '.' && end - s > 3 && IsHexDigit(s[3])))) {
        hex = true;
        s += 2;
        r = std::from_chars(s, end, v, std::chars_format::hex);
    } else {
        // The usual number of a drawing file: at most 19 digits, a point, no exponent. Its
        // digits m and the k of them after the point give m / 10^k, which one division
        // rounds correctly when m < 2^53 and k <= 22: what from_chars reads, sooner.
        static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        const char* q = s;
        uint64_t m = 0;
        int digits = 0, after = 0;
        for (; q != end && IsDigit(*q); ++q, ++digits) m = m * 10 + uint64_t(*q - '0');
        if (q != end && *q == '.') {
            for (++q; q != end && IsDigit(*q); ++q, ++digits, ++after)
                m = m * 10 + uint64_t(*q - '0');
        }
        if (digits > 0 && digits <= 19 && m <= (uint64_t(1) << 53) && after <= 22 &&
            (q == end || (*q != 'e' && *q != 'E'))) {
            v = after ? double(m) / kPow10[after] : double(m);
            p = q;
            value = negative ? -v : v;
            return true;
        }
        r = std::from_chars(s, end, v);
    }
    if (r.ec == std::errc::invalid_argument) return false;
    if (r.ec == std::errc::result_out_of_range) v = Underflows(s, r.ptr, hex) ? 0.0 : HUGE_VAL;
    p = r.ptr;
    value = negative ? -v : v;
    return true;
}

void LineSplitter::Feed(std::string_view chunk) {
    size_t pos = 0;
    for (size_t nl; (nl = chunk.find('\n', pos)) != std::string_view::npos; pos = nl + 1) {
        std::string_view piece = chunk.substr(pos, nl - pos);
        if (overlong_) {
            overlong_ = false;
        } else if (pending_.empty()) {
            // The common case: the whole line lies in this chunk and is read in place.
            if (piece.size() <= maxLine_) onLine_(piece);
        } else if (pending_.size() + piece.size() <= maxLine_) {
            pending_.append(piece);
            onLine_(pending_);
        }
        pending_.clear();
    }
    std::string_view rest = chunk.substr(pos);
    if (overlong_ || rest.empty()) return;
    if (pending_.size() + rest.size() > maxLine_) {
        overlong_ = true;
        std::string().swap(pending_);
        return;
    }
    pending_.append(rest);
}

void LineSplitter::Finish() {
    if (!overlong_ && !pending_.empty()) onLine_(pending_);
    pending_.clear();
    overlong_ = false;
}

namespace {
constexpr size_t kChunkBytes = size_t(1) << 20;
}  // namespace

ChunkedFile::ChunkedFile() = default;
ChunkedFile::~ChunkedFile() = default;

bool ChunkedFile::Open(const std::string& path) {
    file_ = std::make_unique<QFile>(QString::fromStdString(path));
    // Unbuffered: the chunk is the only buffer needed.
    if (!file_->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    chunk_ = std::make_unique_for_overwrite<char[]>(kChunkBytes);
    MakeResident(chunk_.get(), kChunkBytes);
    got_ = file_->read(chunk_.get(), qint64(kChunkBytes));
    total_ = file_->size();
    return got_ >= 0;
}

std::string_view ChunkedFile::Next() {
    if (!file_ || readFailed_) return {};
    if (!first_) {
        got_ = file_->read(chunk_.get(), qint64(kChunkBytes));
        if (got_ < 0) {
            readFailed_ = true;
            return {};
        }
    }
    first_ = false;
    done_ += got_;
    return {chunk_.get(), size_t(got_)};
}

void ProgressPacer::Tick(bool last) {
    if (!call_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - lastCall_ < std::chrono::milliseconds(4)) return;
    lastCall_ = now;
    call_();
}

bool ReadFileLines(const std::string& path, LineSplitter& splitter,
                   const std::function<void(int64_t, int64_t)>& progress) {
    ChunkedFile file;
    if (!file.Open(path)) return false;
    for (std::string_view chunk; !(chunk = file.Next()).empty();) {
        splitter.Feed(chunk);
        if (progress) progress(file.Done(), file.Total());
    }
    if (file.ReadFailed()) return false;
    splitter.Finish();
    return true;
}

namespace {

// "00" to "99", so that numbers are written two digits at a time.
struct DigitPairs {
    char text[200];
};
constexpr DigitPairs MakeDigitPairs() {
    DigitPairs d{};
    for (int i = 0; i < 100; ++i) {
        d.text[2 * i] = char('0' + i / 10);
        d.text[2 * i + 1] = char('0' + i % 10);
    }
    return d;
}
constexpr DigitPairs kDigitPairs = MakeDigitPairs();

void PutPair(char* p, uint32_t n) { std::memcpy(p, kDigitPairs.text + 2 * n, 2); }

// Writes the decimal digits of u so that they end at `end`; returns where they start.
char* DigitsBefore(char* end, uint64_t u) {
    while (u >= 100) {
        end -= 2;
        PutPair(end, uint32_t(u % 100));
        u /= 100;
    }
    if (u >= 10) {
        end -= 2;
        PutPair(end, uint32_t(u));
    } else {
        *--end = char('0' + u);
    }
    return end;
}

int DigitCount(uint64_t u) {
    for (int n = 0;; n += 4, u /= 10000) {
        if (u < 10) return n + 1;
        if (u < 100) return n + 2;
        if (u < 1000) return n + 3;
        if (u < 10000) return n + 4;
    }
}

// Numbers below 10^8 (coordinates' whole parts, slot numbers) are written without a branch
// on their length: in a file the lengths change from one number to the next, and each
// mispredicted branch costs about as much as the whole number.
constexpr uint32_t kSmall = 100000000;

int SmallDigitCount(uint32_t u) {
    static constexpr uint32_t kPowers[] = {1,      10,      100,      1000,     10000,
                                           100000, 1000000, 10000000, 100000000};
    // The digits of the highest bit's power of two, or one more, and the power of ten decides.
    // Zero is written as one digit, like one.
    u |= 1;
    const int t = (std::bit_width(u) * 1233) >> 12;
    return t + int(u >= kPowers[t]);
}

// Writes u < 10^8, `length` digits long, as eight bytes whose tail is scratch for the
// caller to write over; returns the end of the digits.
char* PutSmall(char* p, uint32_t u, int length) {
    char d[8];
    const uint32_t hi = u / 10000, lo = u % 10000;
    PutPair(d, hi / 100);
    PutPair(d + 2, hi % 100);
    PutPair(d + 4, lo / 100);
    PutPair(d + 6, lo % 100);
    uint64_t word;
    std::memcpy(&word, d, 8);
    // The leading zeros shifted out of the word's first bytes.
    if constexpr (std::endian::native == std::endian::little)
        word >>= 8 * (8 - length);
    else
        word <<= 8 * (8 - length);
    std::memcpy(p, &word, 8);
    return p + length;
}

}  // namespace

char* WriteFixed6(char* p, char* end, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const int biased = int(bits >> 52) & 0x7FF;
    uint64_t m = bits & ((uint64_t(1) << 52) - 1);
    if (biased != 0) m |= uint64_t(1) << 52;
    const int e = (biased != 0 ? biased : 1) - 1075;  // v = +-m * 2^e
    // Beyond 2^63 (and for infinities and NaNs) the slow road; it is never taken by a
    // drawing's coordinates.
    if (biased == 0x7FF || e > 10 || end - p < 48)
        return std::to_chars(p, end, v, std::chars_format::fixed, 6).ptr;
    // The value in millionths: m * 10^6 * 2^e, exact in 128 bits, then rounded.
    using U128 = unsigned __int128;
    const U128 exact = U128(m) * 1000000u;
    uint64_t whole;
    uint32_t frac;
    const int s = -e;
    if (s >= 10 && s < 64) {
        // The usual coordinate, from 2^-11 to 2^43: the millionths fit in 64 bits and the
        // bits shifted out are the low word's.
        const uint64_t hi = uint64_t(exact >> 64), lo = uint64_t(exact);
        uint64_t n = (hi << (64 - s)) | (lo >> s);
        const uint64_t r = lo & ((uint64_t(1) << s) - 1);
        const uint64_t half = uint64_t(1) << (s - 1);
        n += uint64_t(r > half) | (uint64_t(r == half) & n);
        whole = n / 1000000u;
        frac = uint32_t(n % 1000000u);
    } else {
        U128 n = exact;
        if (e >= 0) {
            n <<= e;
        } else if (s >= 100) {
            n = 0;  // below half a millionth: n < 2^73 < 2^(s - 1)
        } else {
            const U128 q = n >> s;
            const U128 r = n - (q << s);
            const U128 half = U128(1) << (s - 1);
            n = q + ((r > half || (r == half && (q & 1))) ? 1 : 0);
        }
        if (n >> 64) {
            whole = uint64_t(n / 1000000u);
            frac = uint32_t(n % 1000000u);
        } else {  // a division of 64 bits where it does
            whole = uint64_t(n) / 1000000u;
            frac = uint32_t(uint64_t(n) % 1000000u);
        }
    }
    *p = '-';
    p += bits >> 63;
    if (whole < kSmall) {
        p = PutSmall(p, uint32_t(whole), SmallDigitCount(uint32_t(whole)));
    } else {
        p += DigitCount(whole);
        DigitsBefore(p, whole);
    }
    *p++ = '.';
    PutPair(p, frac / 10000);
    PutPair(p + 2, frac / 100 % 100);
    PutPair(p + 4, frac % 100);
    return p + 6;
}

char* WriteIntSlow(char* p, int64_t v, int width) {
    if (v >= 0 && v < kSmall && width <= 8) {
        // Blanks before the digits written over by the digits where not needed.
        const int length = SmallDigitCount(uint32_t(v));
        std::memcpy(p, "        ", 8);
        return PutSmall(p + std::max(width - length, 0), uint32_t(v), length);
    }
    char digits[24];
    char* const end = digits + sizeof digits;
    char* b = DigitsBefore(end, v < 0 ? 0 - uint64_t(v) : uint64_t(v));
    if (v < 0) *--b = '-';
    for (auto n = end - b; n < width; ++n) *p++ = ' ';
    std::memcpy(p, b, size_t(end - b));
    return p + (end - b);
}

void RecordText::Text(std::string_view s) {
    size_t room = size_t(text_ + kRoom - p_);
    p_ = std::copy_n(s.data(), std::min(room, s.size()), p_);
}

bool SaveFileAtomically(const std::string& path,
                        const std::function<bool(const TextSink&)>& write) {
    // QSaveFile writes a temporary file beside the target and renames it over the target
    // only on commit; it never falls back to writing the target in place.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    int64_t written = 0, handedOn = 0;
    const TextSink sink = [&](std::string_view chunk) {
        if (file.write(chunk.data(), qint64(chunk.size())) != qint64(chunk.size())) return false;
        written += int64_t(chunk.size());
#ifdef __linux__
        // The commit syncs the file to the disk before the rename. Handing each few
        // megabytes to the disk as they are written lets that happen while the rest is
        // being made, rather than all at the end: for a file of hundreds of megabytes the
        // final sync was the larger part of saving. Only a request: a failure of the
        // writing itself is still reported by the sync.
        if (written - handedOn >= kWriteBehind) {
            sync_file_range(file.handle(), handedOn, written - handedOn, SYNC_FILE_RANGE_WRITE);
            handedOn = written;
        }
#endif
        return true;
    };
    if (!write(sink)) {
        file.cancelWriting();  // the destructor removes the temporary file
        return false;
    }
    return file.commit();
}

void DropCachedPages(const std::string& path, const std::string& except) {
#ifdef __linux__
    // Only a plain file is opened at all: opening a device or a pipe can do things.
    struct stat st, other;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    if (!except.empty() && ::stat(except.c_str(), &other) == 0 && st.st_dev == other.st_dev &&
        st.st_ino == other.st_ino)
        return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
#else
    (void)path;
    (void)except;
#endif
}

bool SaveFileAtomicallyPlaced(const std::string& path,
                              const std::function<bool(const PlacedSink&)>& write) {
    DropCachedPages(path);
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    const int fd = file.handle();
    const PlacedSink sink = [fd](std::string_view bytes, int64_t at) {
        const int64_t from = at, size = int64_t(bytes.size());
        for (const char* p = bytes.data(); !bytes.empty();) {
            const ssize_t w = ::pwrite(fd, p, bytes.size(), off_t(at));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            p += w;
            at += w;
            bytes.remove_prefix(size_t(w));
        }
#ifdef __linux__
        // As SaveFileAtomically does: on to the disk while the rest is made.
        sync_file_range(fd, from, size, SYNC_FILE_RANGE_WRITE);
#else
        (void)from;
        (void)size;
#endif
        return true;
    };
    if (!write(sink)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
