// The Tarnix import: record kinds, arcs, premature ends, bad values, chunks and files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <random>

#include "files/TarnixReader.h"
#include "model/DrawingStore.h"
#include "tests/files/StoreDump.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void Put(std::string& b, std::size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + std::size_t(i)] = char(v >> (8 * i));
}

// A file built record by record. The bytes nobody reads hold patterns that would turn into
// elements or odd records if the reader lost its step.
struct Tarnix {
    std::string b;
    std::vector<std::size_t> ends;  // where each record ends

    Tarnix() {
        for (int i = 0; i < 6204; ++i) b += char((i * 37 + 11) & 0xFF);
    }
    Tarnix& Record(std::string bytes) {
        b += bytes;
        ends.push_back(b.size());
        return *this;
    }
    Tarnix& Reals(uint8_t kind, std::initializer_list<double> v, std::string tail = {}) {
        std::string r(1, char(kind));
        r.append(23, '\x21');
        for (double d : v) {
            r.append(8, '\0');
            Put(r, r.size() - 8, std::bit_cast<uint64_t>(d), 8);
        }
        return Record(r + tail);
    }
    Tarnix& Line(double x1, double y1, double x2, double y2, uint8_t kind = 0x01) {
        return Reals(kind, {x1, y1, x2, y2, kNaN, kInf, 1e300});
    }
    Tarnix& Arc(double x1, double y1, double x2, double y2, double cx, double cy, double r,
                uint8_t kind = 0x02) {
        return Reals(kind, {x1, y1, x2, y2, cx, cy, r});
    }
    Tarnix& Sized(uint8_t kind, std::size_t size) {
        return Record(char(kind) + std::string(size - 1, '\x21'));
    }
    Tarnix& Text(const std::string& text, uint8_t kind = 0x05) {
        return Reals(kind, {1, 2, 3, 4, kNaN}, text + '\0');
    }
    // The file up to `cut` bytes with the count `n` (the number of records by default).
    std::string File(std::optional<int64_t> n = {}, std::size_t cut = std::string::npos) const {
        std::string f = b.substr(0, cut);
        if (f.size() >= 16) Put(f, 12, uint64_t(n.value_or(int64_t(ends.size()))), 4);
        return f;
    }
};

// Imports from a heap block of exactly the input's size, so that AddressSanitizer sees any
// read past it. The trace line is kept from the test's output.
TarnixReadReport Import(std::string_view bytes, DrawingStore& s, std::string* trace = nullptr) {
    std::unique_ptr<char[]> block(new char[bytes.size() + 1]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    TarnixReadReport report;
    testing::internal::CaptureStdout();
    ImportTarnixBytes({block.get(), bytes.size()}, s, report);
    const std::string out = testing::internal::GetCapturedStdout();
    if (trace) *trace = out;
    return report;
}

}  // namespace

TEST(TarnixReader, AHeaderWithoutRecordsIsACompleteEmptyDrawingAndItsCountIsTraced) {
    DrawingStore s;
    for (int32_t n : {0, -3, std::numeric_limits<int32_t>::min()}) {
        s.AppendLine(0, 0, 1, 1);
        std::string trace;
        const std::string file = Tarnix().File(n);
        ASSERT_EQ(file.size(), 6204u);
        const TarnixReadReport r = Import(file, s, &trace);
        EXPECT_EQ(trace, "num : " + std::to_string(n) + "\n");
        EXPECT_TRUE(r.complete);
        EXPECT_EQ(r.count, n);
        EXPECT_EQ(r.records, 0);
        EXPECT_EQ(Dump(s), "");
    }
}

TEST(TarnixReader, FixtureImportsToItsGoldenDrawingAndReadsNoRecordBeyondTheCount) {
    DrawingStore s;
    TarnixReadReport r;
    std::vector<int64_t> last;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(ImportTarnixFile(KORVO_TEST_DATA "/tarnix/drawing.bin", s, r,
                                 [&](int64_t done, int64_t total, int64_t records) {
                                     last = {done, total, records};
                                 }));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "num : 12\n");
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.records, 12);
    EXPECT_TRUE(r.notes.empty());
    EXPECT_EQ(last, (std::vector<int64_t>{7158, 7158, 12}));
    EXPECT_EQ(Dump(s),
              "L 0 0 100 0\nL 100 0 100 50\nL 0 50 100 50\nL 0 0 0 50\n"
              "C 125 25 25 0 90\nC 50 25 10 90 0\nC 200 25 10 0 0\n");
}

TEST(TarnixReader, OnlyTheLowFourBitsChooseTheKindOnceTheEmptyAndBracketBytesAreTaken) {
    Tarnix t;
    t.Line(1.234564, 2, -3.125, 4, 0x21).Sized(0x10, 80).Sized(0x00, 1).Sized('[', 84);
    for (uint8_t kind : {0x03, 0x04, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0F, 0xF0})
        t.Sized(kind, 80);
    // A text of any length is read past to its zero byte; its bytes would read as lines.
    t.Text(std::string(100000, '\x21')).Text("", 0x15).Text("\x90\xa1\x96\x40", 0xA5);
    t.Arc(13.000004, -16, 9.000004, -21, 10.000004, -20, 5, 0x12).Line(0, 0, 0, 1);
    DrawingStore s;
    const TarnixReadReport r = Import(t.File(), s);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.records, 20);
    // Ends rounded to five decimals and ordered; angles of the end points about the centre.
    EXPECT_EQ(Dump(s), "L -3.125 4 1.23456 2\nL 0 0 0 1\nC 10 -20 5 53.1301 225\n");
}

TEST(TarnixReader, ANegativeRadiusExchangesTheAnglesSoTheArcRunsTheOtherWay) {
    DrawingStore s;
    Import(Tarnix()
               .Arc(105, 50, 100, 55, 100, 50, -5)
               .Arc(105, 50, 100, 55, 100, 50, 5)
               .Arc(100, 45, 100, 45, 100, 50, -5)
               .File(),
           s);
    EXPECT_EQ(Dump(s), "C 100 50 5 90 0\nC 100 50 5 0 90\nC 100 50 5 270 270\n");
}

TEST(TarnixReader, AFileCutAtAnyOffsetKeepsTheRecordsBeforeTheCutAndIsIncomplete) {
    Tarnix t;
    t.Line(1, 2, 3, 4).Text("abc").Arc(2, 0, 0, 2, 0, 0, 2).Sized('[', 84).Sized(0, 1);
    t.Line(5, 6, 7, 8, 0xF1).Sized(0x07, 80);
    const std::string full = t.File();
    DrawingStore s;
    // What the first k records make, each from a complete file of its own.
    std::vector<std::string> before;
    for (std::size_t k = 0; k <= t.ends.size(); ++k) {
        Import(t.File(int64_t(k), k ? t.ends[k - 1] : 6204), s);
        before.push_back(Dump(s));
    }
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        s.AppendLine(0, 0, -1, -1);
        const TarnixReadReport r = Import(std::string_view(full).substr(0, cut), s);
        const std::size_t k = std::size_t(std::count_if(
            t.ends.begin(), t.ends.end(), [&](std::size_t end) { return end <= cut; }));
        ASSERT_EQ(r.complete, cut == full.size()) << cut;
        ASSERT_EQ(r.count, cut >= 16 ? 7 : 0) << cut;
        ASSERT_EQ(r.records, int64_t(k)) << cut;
        ASSERT_EQ(Dump(s), before[k]) << cut;
    }
}

TEST(TarnixReader, ChunkBoundariesAnywhereReadTheSameAsOneBlock) {
    Tarnix t;
    t.Line(1, 2, 3, 4).Text(std::string(5000, 'x')).Arc(2, 0, 0, 2, 0, 0, -2).Sized('[', 84);
    t.Sized(0, 1).Text("").Line(5, 6, 7, 8).Line(kNaN, 0, 1, 1);
    const std::string file = t.File();
    DrawingStore whole;
    const TarnixReadReport w = Import(file, whole);
    for (std::size_t size : {1, 2, 3, 7, 8, 13, 4096}) {
        std::size_t at = 0;
        DrawingStore s;
        TarnixReadReport r;
        testing::internal::CaptureStdout();
        ImportTarnixChunks(
            [&]() {
                // A fresh block per chunk, so that a read past a chunk is seen.
                static std::unique_ptr<char[]> block;
                const std::string_view c = std::string_view(file).substr(at, size);
                block.reset(new char[c.size() + 1]);
                std::memcpy(block.get(), c.data(), c.size());
                at += c.size();
                return std::string_view(block.get(), c.size());
            },
            s, r);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(Dump(s), Dump(whole)) << size;
        EXPECT_TRUE(r.complete && r.records == w.records && r.notes == w.notes) << size;
    }
}

TEST(TarnixReader, RecordsWithValuesThatAreNotNumbersOrTooLargeAreSkippedAndCounted) {
    const double over = std::nextafter(1e15, kInf);
    Tarnix t;
    t.Line(kNaN, 0, 1, 1).Line(0, 0, 1, -kInf).Line(0, over, 1, 1).Line(-1e15, 0, 1, 1);
    t.Arc(1, 0, 0, 1, 0, 0, kNaN).Arc(1, 0, 0, 1, -kInf, 0, 1).Arc(1, 0, 0, 1, 0, 0, -1.5e15);
    t.Arc(1, 0, 2e15, 1, 0, 0, 1).Arc(1, 0, 0, 1, 0, 0, -1e15).Text("t");
    DrawingStore s;
    const TarnixReadReport r = Import(t.File(), s);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.records, 10);
    EXPECT_EQ(r.notes,
              std::vector<std::string>{"値が大きすぎるか数でない図形 7 個を読み飛ばしました"});
    EXPECT_EQ(Dump(s), "L -1e+15 0 1 1\nC 0 0 1e+15 90 0\n");
}

TEST(TarnixReader, AHugeCountOnAShortFileEndsAtTheFileEndWithTheElementsRead) {
    DrawingStore s;
    const TarnixReadReport r =
        Import(Tarnix().Line(0, 0, 1, 0).Sized(0, 1).Line(0, 0, 0, 1).File(INT32_MAX), s);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.count, INT32_MAX);
    EXPECT_EQ(r.records, 3);
    EXPECT_EQ(Dump(s), "L 0 0 1 0\nL 0 0 0 1\n");
}

TEST(TarnixReader, RandomBytesNeverCrashOrLetBadValuesIn) {
    std::mt19937 rng(20240611);
    DrawingStore s;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        if (round % 2) bytes = Tarnix().File(int64_t(rng() % 40));
        const std::size_t more = rng() % 400;
        // Kind bytes and doubles of small exponents turn up more often than in plain noise.
        for (std::size_t i = 0; i < more; ++i)
            bytes += char(rng() % 3 ? rng() : std::array{0x01, 0x02, 0x05, 0x40, 0x00}[i % 5]);
        const TarnixReadReport r = Import(bytes, s);
        EXPECT_LE(r.records, std::max<int64_t>(r.count, 0));
        EXPECT_TRUE(!r.complete || r.records == std::max<int64_t>(r.count, 0));
        for (const LineElement& l : s.lines()) {
            if (!l.alive) continue;
            for (double v : {l.x1, l.y1, l.x2, l.y2}) ASSERT_LE(std::fabs(v), 1e15);
        }
        for (const CircleElement& c : s.circles()) {
            if (!c.alive) continue;
            for (double v : {c.cx, c.cy, c.radius}) ASSERT_LE(std::fabs(v), 1e15);
            for (double a : {c.startAngle, c.endAngle}) ASSERT_TRUE(a >= 0 && a < 360);
        }
    }
}

TEST(TarnixReader, FilesAreReadInChunksAndOnesThatCannotBeOpenedLeaveTheStoreAlone) {
    QTemporaryDir dir;
    Tarnix t;
    t.Line(0, 0, 1, 1).Text(std::string(1500000, 'y')).Line(2, 2, 3, 3);
    for (int i = 0; i < 20000; ++i) t.Arc(10 * i + 1, 0, 10 * i, 1, 10 * i, 0, 1);  // on past 2 MiB
    const std::string big = t.File(), path = dir.filePath("big.bin").toStdString();
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(big.data(), qint64(big.size())));
    f.close();
    DrawingStore s, expected;
    Import(big, expected);
    TarnixReadReport r;
    int64_t calls = 0, done = 0;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(ImportTarnixFile(path, s, r, [&](int64_t d, int64_t total, int64_t records) {
        EXPECT_EQ(total, int64_t(big.size()));
        EXPECT_LE(records, 20003);
        ++calls, done = d;
    }));
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(Dump(s), Dump(expected));
    EXPECT_GE(calls, 2);
    EXPECT_EQ(done, int64_t(big.size()));

    for (const std::string& bad :
         {dir.filePath("missing.bin").toStdString(), dir.path().toStdString()}) {
        EXPECT_FALSE(ImportTarnixFile(bad, s, r)) << bad;
        EXPECT_EQ(Dump(s), Dump(expected)) << bad;
    }
}
