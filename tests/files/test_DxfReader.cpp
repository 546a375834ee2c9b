// The DXF reader: group pairs, the entities of one pass, polylines, splines in the stream, bad
// files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <stdexcept>

#include "files/DxfReader.h"
#include "files/DxfWriter.h"
#include "files/TextFileIo.h"
#include "model/DrawingStore.h"
#include "tests/files/StoreDump.h"
#include "tests/support/ScriptedPrompts.h"

// Allocation watch for this test binary: a test may make every allocation of a given size or
// more fail, or note the largest one made. Idle, it is plain malloc.
namespace {
std::atomic<std::size_t> gFailFrom{SIZE_MAX};
std::atomic<std::size_t> gLargest{0};
}  // namespace

void* operator new(std::size_t size) {
    if (size >= gFailFrom.load(std::memory_order_relaxed)) throw std::bad_alloc();
    std::size_t largest = gLargest.load(std::memory_order_relaxed);
    while (size > largest && !gLargest.compare_exchange_weak(largest, size)) {
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace std::literals;

bool AllFiniteInStore(const DrawingStore& s) {
    for (int32_t i = 0; i <= s.lineTop; ++i) {
        const LineElement& l = s.line(i);
        if (l.alive && !std::isfinite(l.x1 + l.y1 + l.x2 + l.y2)) return false;
    }
    for (int32_t i = 0; i <= s.circleTop; ++i) {
        const CircleElement& c = s.circle(i);
        if (c.alive && !std::isfinite(c.cx + c.cy + c.radius + c.startAngle + c.endAngle))
            return false;
    }
    return true;
}

// Imports from a heap block of exactly the input's size, so that AddressSanitizer sees any
// read past it.
DxfReadReport Import(std::string_view bytes, DrawingStore& s,
                     const DxfReadSettings& settings = {}) {
    std::unique_ptr<char[]> block(new char[bytes.size()]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    DxfReadReport report;
    ImportDxfBytes({block.get(), bytes.size()}, s, settings, report);
    return report;
}

std::string Import(std::string_view bytes) {
    DrawingStore s;
    Import(bytes, s);
    return Dump(s);
}

std::string Slurp(const std::string& path) {
    QFile f(QString::fromStdString(path));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path;
    return f.readAll().toStdString();
}

const std::string kData = KORVO_TEST_DATA "/dxf/";

// A pair's lines; numbers become their text as a "%.6lf" writer would give it.
std::string Pair(int code, std::string_view value) {
    return std::to_string(code) + "\n" + std::string(value) + "\n";
}
std::string Line(double x1, double y1, double x2, double y2) {
    char text[256];
    std::snprintf(text, sizeof text, "0\nLINE\n8\n0\n10\n%.6lf\n20\n%.6lf\n11\n%.6lf\n21\n%.6lf\n",
                  x1, y1, x2, y2);
    return text;
}

// Each pair as "code value": "text" for texts, the number for reals, #n for integers, ? for a
// value that did not convert.
std::string Pairs(DxfPairReader& r) {
    std::string out;
    DxfGroupValue v;
    for (int code = 0; code != -1;) {
        code = ReadGroupPair(r, v);
        out += std::to_string(code);
        if (code == -1 || code == -999)
            ;
        else if (!v.converted)
            out += " ?";
        else if (code <= 9 || code == 100 || code == 101 || code == 999)
            out += " \"" + std::string(v.text) + "\"";
        else if (code >= 60 && code <= 79)
            out += " #" + std::to_string(v.integer);
        else
            out += " " + Number(v.real);
        out += "\n";
    }
    return out;
}

TEST(DxfReader, GroupPairsConvertByCodeAndStayInStepWhateverTheirLines) {
    const std::string longLine(kDxfMaxLineBytes + 1, '7');
    const std::string bytes =
        "  0\r\n  LINE  extra\r\n1\n  two  words \r\n-5\nabc def\n10\n0.1\n 20 \n 1.5e3xyz\n"
        "59\n-2\n30\nabc\n62\n  7\n79\n-3\n70\n99999999999\n100\nAcDbLine more\n"
        "999\ncomment words\n210\n0.5\n239\n1\n1000\nxdata\n1071\n5\n80\n1\n240\n1\n998\nx\n"
        "101\nx\nabc\n10\n-1\nx\n20\n" +
        longLine + "\n" + longLine + "\n5\n21\n2.5\n8\n\n0\nEOF";
    // 0.1 in double precision, never widened from a float; extended data passed over; a code
    // line without an integer, a code of -1 and overlong lines make pairs of no interest.
    const std::string expected =
        "0 \"LINE\"\n1 \"  two  words \"\n-5 \"abc\"\n10 0.1\n20 1500\n59 -2\n30 ?\n62 #7\n"
        "79 #-3\n70 ?\n100 \"AcDbLine\"\n999 \"comment\"\n210 0.5\n239 1\n-999\n-999\n-999\n"
        "101 \"x\"\n-999\n-999\n-999\n-999\n21 2.5\n8 \"\"\n0 \"EOF\"\n-1\n";
    DxfPairReader whole(bytes);
    EXPECT_EQ(Pairs(whole), expected);
    EXPECT_EQ(whole.pairsWithoutCode, 1);
    EXPECT_EQ(whole.overlongPairs, 2);  // an overlong value, then an overlong code line
    // Streamed in chunks of small sizes, lines and CR LF ends fall across chunk ends.
    for (std::size_t size : {1, 2, 3, 7, 4096}) {
        std::size_t at = 0;
        DxfPairReader chunked([&]() {
            std::string_view c = std::string_view(bytes).substr(at, size);
            at += c.size();
            return c;
        });
        EXPECT_EQ(Pairs(chunked), expected) << "chunks of " << size;
    }
    // A pair handed back comes again, once; a code line without its value line is the end.
    DxfPairReader r("10\n1.25\n20\n2\n0\nLINE\n10\n");
    DxfGroupValue v;
    EXPECT_EQ(ReadGroupPair(r, v), 10);
    r.HandBack();
    EXPECT_EQ(Pairs(r), "10 1.25\n20 2\n0 \"LINE\"\n-1\n");
}

TEST(DxfReader, FixtureOfEveryEntityKindImportsToItsGoldenDumpAlsoWithCrLfAndBlanks) {
    const std::string golden = Slurp(kData + "entities.expected");
    DrawingStore s;
    DxfReadReport report = Import(Slurp(kData + "entities.dxf"), s);
    EXPECT_EQ(Dump(s), golden);
    EXPECT_TRUE(report.notes.empty());
    EXPECT_EQ(report.entities, 30);
    // Texts keep every word, and their Shift-JIS characters.
    EXPECT_EQ(s.text(0).text, "\xE5\xB1\x85\xE9\x96\x93 LIVING  ROOM");
    // The block's LINE is drawn where the INSERT places it, not where it is defined.
    EXPECT_EQ(Dump(s).find("L 1.5 2.25"), std::string::npos);
    EXPECT_NE(Dump(s).find("L 501.5 502.25 503.5 495.875\n"), std::string::npos);
    // Survey coordinates keep their digits (to the store's five decimals).
    EXPECT_EQ(s.line(0).x1, 12345678.12346);
    EXPECT_EQ(s.line(0).y1, -98765.4321);
    EXPECT_EQ(s.circle(0).radius, 12.345678);
    EXPECT_EQ(s.circle(1).cx, -50.0);  // centres are rounded, radii are not

    DxfReadReport crlf = Import(Slurp(kData + "crlf.dxf"), s);
    EXPECT_EQ(Dump(s), golden);
    EXPECT_TRUE(crlf.notes.empty());
}

TEST(DxfReader, AnExportedDrawingReadsBackToTheLastWrittenDigit) {
    // Reals were read in single precision, which moved survey coordinates by metres.
    DrawingStore a, b;
    a.AppendLine(12345678.12345, -98765.4321, 12345688.5, 0.00001);
    a.AppendCircle(100.5, 200.25, 12.345678, 0, 0);
    a.AppendCircle(-3e6, 4e6, 0.000001, 350.123456, 10.5);
    std::string text;
    ASSERT_TRUE(WriteDxfRecords(a, [&](std::string_view chunk) {
        text.append(chunk);
        return true;
    }));
    EXPECT_TRUE(Import(text, b).notes.empty());
    EXPECT_EQ(Dump(b), Dump(a));
    EXPECT_EQ(Dump(b),
              "L 12345678.12345 -98765.4321 12345688.5 1e-05\nC 100.5 200.25 12.345678 0 0\n"
              "C -3e+06 4e+06 1e-06 350.123456 10.5\n");
}

TEST(DxfReader, SplineFixtureImportsToItsGoldenDump) {
    DrawingStore s;
    DxfReadReport report = Import(Slurp(kData + "spline.dxf"), s);
    EXPECT_EQ(Dump(s), Slurp(kData + "spline.expected"));
    // The spline of fit points only is skipped; the line after it (300,-5 to 320,-5) stays.
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_EQ(report.notes[0],
              "制御点・次数・ノットが揃っていないスプライン 1 個を読み飛ばしました");
}

TEST(DxfReader, EntitiesCarryValuesOverAndOnlyTheNextCodeZeroPairFinishesThem) {
    DrawingStore s;
    // A circle without 40 takes the radius before it; a text without 50 is unrotated.
    Import(Pair(0, "ARC") + Pair(10, "1") + Pair(20, "2") + Pair(40, "3") + Pair(50, "45") +
               Pair(51, "90") + Pair(0, "CIRCLE") + Pair(10, "4") + Pair(0, "TEXT") + Pair(1, "t") +
               Pair(0, "LINE") + Pair(11, "9") + Pair(21, "9") + Pair(0, "EOF"),
           s);
    EXPECT_EQ(Dump(s), "L 4 2 9 9\nC 1 2 3 45 90\nC 4 2 3 0 0\nT 4 2 3 0 \"t\"\n");

    const std::string body = Pair(0, "CIRCLE") + Pair(10, "1") + Pair(20, "2") + Pair(40, "3");
    DxfReadReport report = Import(body + Pair(0, "EOF") + Pair(0, "LINE") + Pair(11, "5"), s);
    EXPECT_EQ(Dump(s), "C 1 2 3 0 0\n");
    EXPECT_TRUE(report.notes.empty());
    report = Import(body, s);
    EXPECT_EQ(Dump(s), "");
    EXPECT_EQ(report.notes,
              std::vector<std::string>{
                  "ファイルが EOF で終わっていないため、最後の図形を読み込めませんでした"});
    // Only the end of the data ends the reading: a pair whose code is -1 is of no interest.
    report = Import(Pair(-1, "x") + body + Pair(-1, "EOF") + Pair(0, "EOF"), s);
    EXPECT_EQ(Dump(s), "C 1 2 3 0 0\n");
    EXPECT_TRUE(report.notes.empty());
}

std::string Vertex(double x, double y, std::string_view layer = "P") {
    return Pair(0, "VERTEX") + Pair(8, layer) + Pair(10, Number(x)) + Pair(20, Number(y));
}

TEST(DxfReader, PolylinesBecomeChainsAtTheLayerGroupOfTheirSeqend) {
    const std::string square = Pair(0, "POLYLINE") + Pair(8, "P") + Pair(70, "1") + Vertex(0, 0) +
                               Vertex(10, 0) + Vertex(10, 10) + Vertex(0, 10) + Pair(0, "SEQEND") +
                               Pair(8, "P");
    // A closed polyline gets its closing segment, and two polylines on one layer stay two
    // chains.
    const std::string closed = "L 0 0 10 0\nL 10 0 10 10\nL 0 10 10 10\nL 0 0 0 10\n";
    EXPECT_EQ(Import(square + Pair(0, "EOF")), closed);
    EXPECT_EQ(Import(square + Pair(0, "POLYLINE") + Pair(8, "P") + Vertex(20, 0) + Vertex(30, 0) +
                     Pair(0, "SEQEND") + Pair(8, "P") + square + Pair(0, "EOF")),
              closed + "L 20 0 30 0\n" + closed);
    // A SEQEND without its layer group used to leave the polyline undrawn, with a note that
    // it had no end. It ends there, whatever follows; only vertices without a SEQEND are
    // said.
    DrawingStore s;
    DxfReadReport report = Import(
        Pair(0, "POLYLINE") + Vertex(0, 0) + Vertex(1, 1) + Pair(0, "SEQEND") + Pair(0, "EOF"), s);
    EXPECT_EQ(Dump(s), "L 0 0 1 1\n");
    EXPECT_TRUE(report.notes.empty());
    report = Import(Pair(0, "POLYLINE") + Vertex(0, 0) + Vertex(1, 1) + Pair(0, "EOF"), s);
    EXPECT_EQ(Dump(s), "");
    EXPECT_EQ(report.notes,
              std::vector<std::string>{"終わりのないポリラインの頂点 2 個を線にしませんでした"});

    // The SEQEND of an INSERT's attributes holds no vertices. Its flag used to stay set until
    // some vertices were flushed, so the next polyline's own layer groups cut it up.
    EXPECT_EQ(Import(Pair(0, "INSERT") + Pair(8, "P") + Pair(66, "1") + Pair(0, "ATTRIB") +
                     Pair(8, "P") + Pair(0, "SEQEND") + Pair(8, "P") + square + Pair(0, "EOF")),
              closed);
}

TEST(DxfReader, PolylinesPastFiftyThousandVerticesAreReadWholeAndTheFileGoesOn) {
    std::string bytes = Pair(0, "POLYLINE") + Pair(8, "P");
    const int n = 60000;
    for (int i = 0; i < n; ++i) bytes += Vertex(i * 10, (i % 2) * 10);
    bytes += Pair(0, "SEQEND") + Pair(8, "P") + Line(-5, -5, -1, -1) + Pair(0, "EOF");
    DrawingStore s;
    DxfReadReport report = Import(bytes, s);
    EXPECT_TRUE(report.notes.empty());
    int lines = 0;
    for (int32_t i = 0; i <= s.lineTop; ++i) lines += s.line(i).alive;
    EXPECT_EQ(lines, n);
    EXPECT_EQ(s.line(n - 2).x1, (n - 2) * 10.0);
    EXPECT_EQ(s.line(n - 1).x1, -5.0);

    // Past the bound, the one oversized polyline or spline is skipped, and said so.
    DxfReadSettings small;
    small.maxEntityPoints = 3;
    std::string spline = Pair(0, "SPLINE") + Pair(71, "2") + Pair(73, "4");
    for (int i = 0; i < 7; ++i) spline += Pair(40, std::to_string(i));
    for (int i = 0; i < 4; ++i) spline += Pair(10, std::to_string(i)) + Pair(20, "0");
    const std::string four = Pair(0, "POLYLINE") + Pair(8, "P") + Vertex(0, 0) + Vertex(1, 0) +
                             Vertex(2, 0) + Vertex(3, 0) + Pair(0, "SEQEND") + Pair(8, "P") +
                             Line(-5, -5, -1, -1);
    report = Import(four + spline + Line(5, 5, 9, 9) + Pair(0, "EOF"), s, small);
    EXPECT_EQ(Dump(s), "L -5 -5 -1 -1\nL 5 5 9 9\n");
    EXPECT_EQ(report.notes,
              (std::vector<std::string>{
                  "ポリラインの頂点が多すぎるため 1 個の図形を読み飛ばしました",
                  "スプラインの制御点またはノットが多すぎるため 1 個の図形を読み飛ばしました"}));
}

TEST(DxfReader, AllocationFailuresShowTheDesignedMessageSkipTheEntityAndReadOn) {
    ScriptedPrompts prompts;
    std::string bytes = Line(-5, -5, -1, -1) + Pair(0, "POLYLINE") + Pair(8, "P");
    for (int i = 0; i < 70000; ++i) bytes += Vertex(i, 0);
    bytes +=
        Pair(0, "SEQEND") + Pair(8, "P") + Pair(0, "SPLINE") + Pair(71, "2") + Pair(73, "70000");
    for (int i = 0; i < 70002; ++i) bytes += Pair(40, std::to_string(i));
    bytes += Line(5, 5, 9, 9) + Pair(0, "EOF");
    DrawingStore s;
    // The vertex and knot tables double as they grow; past 65,536 values they ask for 1 MiB.
    gFailFrom = std::size_t(1) << 20;
    DxfReadReport report;
    ImportDxfBytes(bytes, s, {}, report);
    gFailFrom = SIZE_MAX;
    EXPECT_EQ(prompts.messageTexts(), (std::vector<std::string>{"vertexメモリ確保に失敗しました",
                                                                "knotメモリ確保に失敗しました"}));
    EXPECT_EQ(Dump(s), "L -5 -5 -1 -1\nL 5 5 9 9\n");
    EXPECT_EQ(report.notes,
              std::vector<std::string>{"メモリが足りないため 2 個の図形を読み飛ばしました"});
}

TEST(DxfReader, ASplineNeverTakesThePlaceOfPolylineVerticesStillWaiting) {
    const std::string spline = Pair(0, "SPLINE") + Pair(8, "S") + Pair(71, "1") + Pair(73, "2") +
                               Pair(40, "0") + Pair(40, "0") + Pair(40, "1") + Pair(40, "1") +
                               Pair(10, "100") + Pair(20, "100") + Pair(10, "200") +
                               Pair(20, "100");
    // The SEQEND lacks its layer group; the polyline still ends there, before the spline's
    // pieces.
    const std::string dump =
        Import(Pair(0, "POLYLINE") + Vertex(0, 0) + Vertex(10, 0) + Vertex(10, 10) +
               Pair(0, "SEQEND") + spline + Line(-5, -5, -1, -1) + Pair(0, "EOF"));
    const std::string polyline = "L 0 0 10 0\nL 10 0 10 10\n";
    ASSERT_EQ(dump.substr(0, polyline.size()), polyline) << dump;
    // After it, only the spline's pieces along y = 100, from x = 100 to x = 200.
    DrawingStore s;
    Import(spline + Pair(0, "EOF"), s);
    EXPECT_EQ(dump.substr(polyline.size()), Dump(s) + "L -5 -5 -1 -1\n");
    EXPECT_EQ(s.line(s.lineTop - 1).y1, 100.0);
    EXPECT_EQ(s.line(s.lineTop - 1).x2, 200.0);
}

TEST(DxfReader, SplinesWithNothingToEvaluateAreSkippedAndReadingStaysInStep) {
    auto knots = [](std::initializer_list<double> ks) {
        std::string s;
        for (double k : ks) s += Pair(40, Number(k));
        return s;
    };
    auto points = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += Pair(10, std::to_string(i)) + Pair(20, "0") + Pair(30, "0");
        return s;
    };
    const std::string cubic = knots({0, 0, 0, 0, 1, 1, 1, 1});
    const std::vector<std::string> splines = {
        // fit points only: the next entity's 10/20 pairs must stay the next entity's
        Pair(71, "3") + Pair(73, "0") + Pair(74, "2") + Pair(11, "0") + Pair(21, "0") +
            Pair(11, "5") + Pair(21, "5"),
        Pair(71, "3") + cubic,                               // no control points
        Pair(73, "4") + cubic + points(4),                   // order missing
        Pair(71, "10") + Pair(73, "4") + cubic + points(4),  // order 11
        Pair(71, "-1") + Pair(73, "4") + cubic + points(4),  // order 0
        Pair(71, "3") + Pair(73, "3") + knots({0, 0, 0, 0, 1, 1, 1}) + points(3),  // n < k
        Pair(71, "3") + Pair(73, "4") + knots({0, 0, 0, 0, 1, 1, 1}) + points(4),  // knots < n + k
        Pair(71, "3") + Pair(73, "4") + knots({0, 0, 0, 1, 0, 1, 1, 1}) + points(4),  // decreasing
        Pair(71, "3") + Pair(73, "4") + knots({1, 1, 1, 1, 1, 1, 1, 1}) + points(4),  // no range
        Pair(71, "3") + Pair(73, "4") + cubic + Pair(40, "abc") + points(4),  // unreadable knot
        Pair(71, "3") + Pair(73, "2000000000") + cubic + points(4),  // fewer points than declared
        Pair(71, "2") + Pair(73, "3") + knots({0, 0, 0, 1, 1, 1}) + points(3) + Pair(41, "1") +
            Pair(41, "0") + Pair(41, "1"),  // a weight of zero
        Pair(71, "2") + Pair(73, "3") + knots({0, 0, 0, 1, 1, 1}) + points(3) + Pair(41, "1"),
    };
    for (std::size_t i = 0; i < splines.size(); ++i) {
        SCOPED_TRACE(i);
        DrawingStore s;
        DxfReadReport report =
            Import(Pair(0, "SPLINE") + splines[i] + Line(-5, -5, -1, -1) + Pair(0, "EOF"), s);
        EXPECT_EQ(Dump(s), "L -5 -5 -1 -1\n");
        EXPECT_EQ(report.notes,
                  std::vector<std::string>{
                      "制御点・次数・ノットが揃っていないスプライン 1 個を読み飛ばしました"});
        EXPECT_EQ(report.entities, 2);
    }
    // The file ends inside a spline: nothing is evaluated from half its data.
    DrawingStore s;
    DxfReadReport report =
        Import(Pair(0, "SPLINE") + Pair(71, "3") + Pair(73, "4") + cubic + points(3), s);
    EXPECT_EQ(Dump(s), "");
    EXPECT_EQ(report.notes.size(), 1u);
}

TEST(DxfReader, BadValuesNeverBorrowAnotherGroupsValueNorReachTheStore) {
    DrawingStore s;
    DxfReadReport report = Import(
        Pair(0, "CIRCLE") + Pair(10, "1") + Pair(20, "2") + Pair(40, "3") + Pair(0, "CIRCLE") +
            Pair(10, "x") + Pair(40, "-") + Pair(20, "") +
            // A blank text stays blank; it used to take the subclass name read before it.
            Pair(0, "TEXT") + Pair(100, "AcDbText") + Pair(1, "") + Pair(50, "..") + Pair(0, "EOF"),
        s);
    EXPECT_EQ(Dump(s), "C 1 2 3 0 0\nC 1 2 3 0 0\nT 1 2 3 0 \"\"\n");
    EXPECT_EQ(report.notes,
              std::vector<std::string>{"値を読み取れないグループ 4 組を無視しました"});

    // Infinities, NaN and magnitudes past 1e15 drop the entity that uses them; the group
    // keeps its value from before for the entities after.
    report = Import(
        Pair(0, "CIRCLE") + Pair(10, "1") + Pair(20, "2") + Pair(40, "3") + Pair(0, "CIRCLE") +
            Pair(40, "1e999") + Pair(0, "CIRCLE") + Pair(10, "5") + Pair(0, "LINE") +
            Pair(11, "nan") + Pair(21, "1") + Pair(0, "ARC") + Pair(51, "-inf") + Pair(0, "TEXT") +
            Pair(20, "1e16") + Pair(0, "TEXT") + Pair(1, "kept") + Pair(11, "inf") +
            Pair(0, "POLYLINE") + Pair(8, "P") + Vertex(0, 0) + Vertex(1e300, 0) + Vertex(1, 0) +
            Pair(0, "SEQEND") + Pair(8, "P") + Pair(0, "SPLINE") + Pair(71, "1") + Pair(73, "2") +
            Pair(40, "0") + Pair(40, "0") + Pair(40, "1") + Pair(40, "1") + Pair(10, "0") +
            Pair(20, "0") + Pair(10, "-1e20") + Pair(20, "0") + Pair(0, "EOF"),
        s);
    EXPECT_EQ(Dump(s), "L 0 0 1 0\nC 1 2 3 0 0\nC 5 2 3 0 0\nT 5 2 3 0 \"kept\"\n");
    EXPECT_EQ(report.notes,
              std::vector<std::string>{"値が大きすぎるか数でない図形 6 個を読み飛ばしました"});

    std::string texts;
    for (int i = 0; i < 5000; ++i) texts += Pair(0, "TEXT") + Pair(10, std::to_string(i));
    report = Import(texts + Pair(0, "EOF"), s);
    EXPECT_EQ(s.textCount, 5000);  // every text is kept
    EXPECT_TRUE(report.notes.empty());
}

TEST(DxfReader, BadFilesNeverCrashHangOrLetNonFiniteValuesIn) {
    // Every prefix of the fixtures: cut anywhere, also inside a number or a CR LF.
    for (const char* name : {"entities.dxf", "crlf.dxf"}) {
        const std::string whole = Slurp(kData + name);
        for (std::size_t n = 0; n <= whole.size(); ++n) {
            DrawingStore s;
            Import(std::string_view(whole).substr(0, n), s);
            ASSERT_TRUE(AllFiniteInStore(s)) << name << " cut at " << n;
        }
    }
    const std::string spline = Slurp(kData + "spline.dxf");
    const std::size_t entities = spline.find("ENTITIES");
    ASSERT_NE(entities, std::string::npos);
    for (std::size_t n = entities; n <= spline.size(); n += 3) {
        DrawingStore s;
        Import(std::string_view(spline).substr(0, n), s);
        ASSERT_TRUE(AllFiniteInStore(s)) << "spline.dxf cut at " << n;
    }

    // Binary garbage, and garbage made of the file's own words.
    std::mt19937 random(20240601);
    const std::vector<std::string> words = {
        "0",   "8",  "10",    "20",   "11",  "21",     "40",   "41",     "50",     "51",
        "71",  "73", "1",     "LINE", "ARC", "CIRCLE", "TEXT", "VERTEX", "SEQEND", "SPLINE",
        "EOF", "-1", "1e308", "nan",  "",    "3",      "-7",   "0.5",    "\r"};
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const std::size_t size = random() % 4000;
        if (round % 2) {
            for (std::size_t i = 0; i < size; ++i) bytes += char(random());
        } else {
            while (bytes.size() < size) bytes += words[random() % words.size()] + "\n";
        }
        DrawingStore s;
        Import(bytes, s);
        ASSERT_TRUE(AllFiniteInStore(s)) << "round " << round;
    }

    // Every code with a value that is no number, or blank, or overlong, inside a line.
    const std::string overlong(kDxfMaxLineBytes + 10, 'x');
    for (int code = -20; code <= 1100; ++code) {
        for (const std::string& value : {"zz"s, ""s, overlong}) {
            if (value.size() > 100 && code % 37) continue;
            const std::string bytes = Pair(0, "LINE") + Pair(10, "1") + Pair(20, "2") +
                                      Pair(code, value) + Pair(11, "3") + Pair(21, "4") +
                                      Pair(0, "EOF");
            DrawingStore s;
            Import(bytes, s);
            // Only an entity name, of no kind, finishes the line before its end point.
            const bool name = code == 0 && value.size() < 100;
            ASSERT_EQ(Dump(s), name ? "L 0 0 1 2\n" : "L 1 2 3 4\n") << "code " << code;
        }
    }
}

TEST(DxfReader, HugeCountsAndDeepNestingCostNothingUnusual) {
    // Counts are never taken on trust: a spline declaring two thousand million control points
    // allocates no table for them.
    DrawingStore s;
    gLargest = 0;
    DxfReadReport report =
        Import(Pair(0, "SPLINE") + Pair(71, "2000000000") + Pair(72, "2000000000") +
                   Pair(73, "2000000000") + Pair(74, "2000000000") + Pair(40, "0") + Pair(10, "0") +
                   Pair(20, "0") + Line(-5, -5, -1, -1) + Pair(0, "EOF"),
               s);
    EXPECT_LT(gLargest.load(), std::size_t(1) << 20);
    EXPECT_EQ(Dump(s), "L -5 -5 -1 -1\n");
    EXPECT_EQ(report.notes.size(), 1u);

    // Blocks inside blocks, ten thousand deep and never placed: nothing to draw, and nothing
    // held up.
    std::string nested;
    for (int i = 0; i < 10000; ++i)
        nested += Pair(0, "BLOCK") + Pair(2, "B" + std::to_string(i)) + Line(i, 0, i, 5);
    for (int i = 0; i < 10000; ++i) nested += Pair(0, "ENDBLK");
    report = Import(nested + Pair(0, "EOF"), s);
    int lines = 0;
    for (int32_t i = 0; i <= s.lineTop; ++i) lines += s.line(i).alive;
    EXPECT_EQ(lines, 0);
    EXPECT_TRUE(report.notes.empty());
}

TEST(DxfReader, FilesAreStreamedSoThatAHundredMegabyteLineIsNeverHeld) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("long.dxf").toStdString();
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const std::string mib(std::size_t(1) << 20, 'w');
        f.write(QByteArray::fromStdString(Line(1, 2, 3, 4) + "999\n"));
        for (int i = 0; i < 100; ++i) f.write(mib.data(), qint64(mib.size()));
        f.write(QByteArray::fromStdString("\n" + Line(5, 6, 7, 8) + Pair(0, "EOF")));
    }
    DrawingStore s;
    DxfReadReport report;
    std::vector<int64_t> done;
    int64_t total = 0;
    gLargest = 0;
    ASSERT_TRUE(ImportDxfFile(path, s, {}, report, [&](int64_t d, int64_t t, int64_t) {
        done.push_back(d);
        total = t;
    }));
    EXPECT_LE(gLargest.load(), (std::size_t(1) << 20) + 4096);  // the one chunk buffer
    EXPECT_EQ(Dump(s), "L 1 2 3 4\nL 5 6 7 8\n");
    EXPECT_EQ(report.notes,
              std::vector<std::string>{"長すぎる行を含むグループ 1 組を読み飛ばしました"});
    EXPECT_EQ(report.entities, 2);
    ASSERT_GE(done.size(), 2u);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.back(), total);
    EXPECT_EQ(total, int64_t(QFile(QString::fromStdString(path)).size()));

    // What cannot be opened or read leaves the store alone; an empty file clears it.
    EXPECT_FALSE(ImportDxfFile(dir.filePath("missing.dxf").toStdString(), s, {}, report));
    EXPECT_FALSE(ImportDxfFile(dir.path().toStdString(), s, {}, report));
    EXPECT_EQ(Dump(s), "L 1 2 3 4\nL 5 6 7 8\n");
    QFile empty(dir.filePath("empty.dxf"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_TRUE(ImportDxfFile(empty.fileName().toStdString(), s, {}, report));
    EXPECT_EQ(Dump(s), "");
    EXPECT_TRUE(report.notes.empty());
}

TEST(DxfReader, AFileImportedOnItsOwnThreadFillsTheStoreAsItsBytesDo) {
    // Many chunks and blocks of elements, every kind, texts, a polyline and a spline, and the
    // fixture of every entity kind; then the same with the vertex and knot tables failing,
    // whose messages the import's thread must leave to this one.
    std::mt19937 random(26);
    std::string body;
    for (int i = 0; i < 30000; ++i) {
        const double x = random() % 100000 / 7.0, y = random() % 100000 / 9.0;
        body += i % 4 ? Line(x, y, x + i % 13 + 1, y + i % 7)
               : i % 8 ? Pair(0, "ARC") + Pair(10, std::to_string(x)) + Pair(20, std::to_string(y)) +
                             Pair(40, "3.5") + Pair(50, std::to_string(i % 360)) + Pair(51, "10")
                       : Pair(0, "TEXT") + Pair(10, std::to_string(x)) + Pair(20, "1") +
                             Pair(40, "2") + Pair(1, "T" + std::to_string(i));
    }
    std::string tables = Pair(0, "POLYLINE") + Pair(8, "P");
    for (int i = 0; i < 50000; ++i)
        tables += Pair(0, "VERTEX") + Pair(8, "P") + Pair(10, std::to_string(i)) + Pair(20, "0");
    tables += Pair(0, "SEQEND") + Pair(8, "P") + Pair(0, "SPLINE") + Pair(71, "2") + Pair(73, "300000");
    for (int i = 0; i < 300002; ++i) tables += Pair(40, std::to_string(i));
    tables += Line(5, 5, 9, 9) + Pair(0, "EOF");
    const std::string fixture = Slurp(kData + "entities.dxf");
    QTemporaryDir dir;
    const std::size_t kAll = SIZE_MAX, kFail = std::size_t(2) << 20;
    for (const auto& [bytes, failFrom] : std::vector<std::pair<std::string, std::size_t>>{
             {fixture, kAll}, {tables, kFail}, {body + tables, kAll}}) {
        {
            const std::string path = dir.filePath("t.dxf").toStdString();
            QFile f(QString::fromStdString(path));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes.data(), qint64(bytes.size()));
            f.close();
            ScriptedPrompts prompts;
            DrawingStore fromBytes, fromFile;
            gFailFrom = failFrom;
            DxfReadReport expected;
            ImportDxfBytes(bytes, fromBytes, {}, expected);
            const std::vector<std::string> messages = prompts.messageTexts();
            DxfReadReport report;
            std::vector<int64_t> counts;
            ASSERT_TRUE(ImportDxfFile(path, fromFile, {}, report,
                                      [&](int64_t, int64_t, int64_t n) { counts.push_back(n); }));
            gFailFrom = SIZE_MAX;
            EXPECT_EQ(Dump(fromFile), Dump(fromBytes));
            EXPECT_EQ(report.notes, expected.notes);
            EXPECT_EQ(report.entities, expected.entities);
            ASSERT_EQ(prompts.messageTexts().size(), messages.size() * 2);
            EXPECT_TRUE(std::equal(messages.begin(), messages.end(),
                                   prompts.messageTexts().begin() + std::ptrdiff_t(messages.size())));
            EXPECT_EQ(messages.size(), failFrom == kAll ? 0u : 2u);
            ASSERT_FALSE(counts.empty());
            EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
            EXPECT_EQ(counts.back(), report.entities);
        }
    }
    // A load given up half-way (the progress throws, as Cancel does) stops the import's thread.
    DrawingStore s;
    DxfReadReport report;
    int calls = 0;
    EXPECT_THROW(ImportDxfFile(dir.filePath("t.dxf").toStdString(), s, {}, report,
                               [&](int64_t, int64_t, int64_t) {
                                   if (++calls == 1) throw std::runtime_error("cancel");
                               }),
                 std::runtime_error);
}

TEST(DxfReader, NumbersReadAsStrtodReadsThem) {
    // The quick road for plain decimals against the C library, on the digits, points and
    // lengths at the edges of it (19 digits, 2^53, 22 decimals).
    std::mt19937_64 random(53);
    std::vector<std::string> texts = {"9007199254740992",  "9007199254740993", "0.1",
                                      "1234567890123456789", "12345678901234567890",
                                      "0.0000000000000000000001", "00000000000000000001.5",
                                      "-7.", "+.25", "1e5", "3.5E-2", "1.5e", "-", ".", "0x10"};
    for (int i = 0; i < 200000; ++i) {
        std::string t = i % 2 ? "-" : "";
        const int digits = 1 + int(random() % 22), point = int(random() % (digits + 1));
        for (int d = 0; d < digits; ++d) {
            if (d == point) t += '.';
            t += char('0' + random() % 10);
        }
        texts.push_back(t);
    }
    for (const std::string& t : texts) {
        const char* p = t.c_str();
        double parsed = -1.0;
        const bool ok = ParseNumber(p, t.c_str() + t.size(), parsed);
        char* end = nullptr;
        const double expected = std::strtod(t.c_str(), &end);
        ASSERT_EQ(ok, end != t.c_str()) << t;
        if (!ok) continue;
        ASSERT_EQ(p, end) << t;
        ASSERT_EQ(std::memcmp(&parsed, &expected, sizeof parsed), 0) << t;
    }
}

}  // namespace
