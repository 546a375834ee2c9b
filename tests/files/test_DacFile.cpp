// The dac file: record parsing, both readers, the writer's bytes and the all-or-nothing save.
#include <gtest/gtest.h>
#include <locale.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <bit>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

#include "files/DacFile.h"
#include "files/TextFileIo.h"
#include "model/DrawingStore.h"

bool operator==(const DacRecord& a, const DacRecord& b) {
    return a.kind == b.kind && std::memcmp(a.v, b.v, sizeof a.v) == 0;
}
void PrintTo(const DacRecord& r, std::ostream* os) {
    *os << r.kind;
    for (double v : r.v) *os << ' ' << v;
}

namespace {

using namespace std::literals;

std::string Written(const DrawingStore& s) {
    std::string out;
    EXPECT_TRUE(WriteDacRecords(s, [&](std::string_view chunk) {
        out.append(chunk);
        return true;
    }));
    return out;
}

// Reads from a heap block of exactly the input's size, so that AddressSanitizer sees any read
// past it.
std::vector<DacRecord> Read(std::string_view bytes) {
    std::unique_ptr<char[]> block(new char[bytes.size()]);
    std::memcpy(block.get(), bytes.data(), bytes.size());
    std::vector<DacRecord> out;
    ReadDacBytes({block.get(), bytes.size()}, out);
    return out;
}

bool ParseExact(std::string_view text, DacRecord& r) {
    std::unique_ptr<char[]> block(new char[text.size()]);
    std::memcpy(block.get(), text.data(), text.size());
    return ParseDacLine({block.get(), text.size()}, r);
}

std::string Slurp(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll().toStdString();
}

void Put(const QString& path, std::string_view bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

const QString kDrawing = KORVO_TEST_DATA "/dac/drawing.dac";
const QString kReloaded = KORVO_TEST_DATA "/dac/reloaded.dac";

DacRecord L(double a, double b, double c, double d) { return {'L', {a, b, c, d, 0}}; }
DacRecord C(double a, double b, double c, double d, double e) { return {'C', {a, b, c, d, e}}; }

}  // namespace

TEST(DacFile, DrawingsAreWrittenInTheFixedLayoutAndReadBackWithTheirGapsClosed) {
    DrawingStore s;
    EXPECT_EQ(Written(s), "P     0 0 0     0 0     0 0.000000 0.000000\r\n");
    s.AddLine(0, 0, 10, 5, 0);
    EXPECT_EQ(Written(s),
              "L     0 0.000000 0.000000 10.000000 5.000000\r\n"
              "P     0 2 76     0 76     0 0.000000 0.000000\r\n"
              "P     1 2 76     0 76     0 10.000000 5.000000\r\n"
              "P     2 3 76     0 76     0 5.000000 2.500000\r\n");
    // A deleted line between others, whose point slots stay free; a full circle and an arc.
    s.AddLine(0, 10, 20, 10, 0);
    s.AddLine(7.125, -2, -5.25, 3, 0);
    s.AddCircle(5, 5, 2.5, 0, 0, 0);
    s.AddCircle(-3, -4, 1.75, 30, 120, 0);
    s.SetCurrentColour(3);
    s.AddLine(-1, 7, 4, 7, 0);
    s.DeleteLine(1, 0);
    // The line drawn in colour 3 keeps it in a style record the plain readers skip.
    std::string golden = Slurp(kDrawing);
    const std::string styled = "L     3 -1.000000 7.000000 4.000000 7.000000\r\n";
    ASSERT_NE(golden.find(styled), std::string::npos);
    golden.insert(golden.find(styled) + styled.size(), "S 3 1 1 7\r\n");
    EXPECT_EQ(Written(s), golden);

    const std::vector<DacRecord> records = Read(golden);
    EXPECT_EQ(records,
              (std::vector<DacRecord>{L(0, 0, 10, 5), L(-5.25, 3, 7.125, -2), L(-1, 7, 4, 7),
                                      C(5, 5, 2.5, 0, 0), C(-3, -4, 1.75, 30, 120)}));
    std::vector<DacRecord> fromFile;
    EXPECT_TRUE(ReadDacFile(kDrawing.toStdString(), fromFile));
    EXPECT_EQ(fromFile, records);
    DrawingStore r;
    AppendDacRecords(r, records);
    ASSERT_EQ(r.lineTop, 3);
    EXPECT_EQ(r.line(2).colour, 7);  // the plain reading takes no styles
    const std::string reloaded = Slurp(kReloaded);
    EXPECT_EQ(Written(r), reloaded);
    DrawingStore again;
    AppendDacRecords(again, Read(reloaded));
    EXPECT_EQ(Written(again), reloaded);
}

TEST(DacFile, NumbersAreWrittenAsPrintfWritesThemInTheCLocaleEvenUnderADecimalComma) {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1e300,
                                  -1e300,
                                  DBL_MAX,
                                  -DBL_MAX,
                                  DBL_MIN,
                                  4.9e-324,
                                  1e-7,
                                  -1e-7,
                                  0.5e-6,
                                  -0.5e-6,
                                  1.5e-6,
                                  2.5e-6,
                                  0.0078125,
                                  -0.0234375,
                                  9.9999995,
                                  999999.9999995,
                                  123456789.1234565,
                                  8589934592.0000005,
                                  0.1,
                                  2.675};
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 4000; ++i) {
        double v = std::bit_cast<double>(rng());
        if (i % 4 == 1) v = std::ldexp(double(rng() >> 11), int(rng() % 80) - 70);
        if (i % 4 == 2) v = (double(rng() % 20000000) + 0.5) * (i % 8 == 2 ? 1e-6 : -1e-6);
        if (i % 4 == 3) v = double(int64_t(rng() % 2000001) - 1000000) / 128.0;  // exact ties
        if (std::isfinite(v)) values.push_back(v);
    }
    while (values.size() % 4) values.push_back(1.0);

    const std::string saved = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
        if (std::setlocale(LC_ALL, name) && *std::localeconv()->decimal_point == ',') break;
    if (*std::localeconv()->decimal_point != ',')
        std::printf("No locale with a decimal comma is installed: testing in %s.\n",
                    std::setlocale(LC_ALL, saved.c_str()));
    locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    DrawingStore s;
    PointElement& p = s.point(0);
    p = PointElement{0.0, 0.0, 6, 'C', -42, 'L', 1234567};
    LineElement& l = s.line(0);
    l.alive = 1;
    for (size_t i = 0; i < values.size(); i += 4) {
        // Set directly, the slots reach values no drawing command would store.
        l.x1 = values[i], l.y1 = values[i + 1], l.x2 = values[i + 2], l.y2 = values[i + 3];
        p.x = -l.x1;
        char want[4096];
        locale_t before = uselocale(c);
        int n = std::snprintf(want, sizeof want,
                              "L %5d %lf %lf %lf %lf\r\nP %5d %d %d %5d %d %5d %lf %lf\r\n", 0,
                              l.x1, l.y1, l.x2, l.y2, 0, p.kind, p.owner1Kind, p.owner1Index,
                              p.owner2Kind, p.owner2Index, p.x, p.y);
        uselocale(before);
        if (Written(s) != std::string(want, size_t(n))) {
            ADD_FAILURE() << Written(s) << " is not\n" << want;
            break;
        }
    }
    DacRecord r{};
    EXPECT_TRUE(ParseDacLine("C 0 1.5 -2.25 0.125 10.5 200.75", r));
    EXPECT_EQ(r, C(1.5, -2.25, 0.125, 10.5, 200.75));
    std::setlocale(LC_ALL, saved.c_str());
    freelocale(c);
}

TEST(DacFile, LinesAreParsedAsScanfReadsThemAndAnythingElseIsSkipped) {
    struct Case {
        std::string_view text;
        bool ok;
        DacRecord want;
    };
    const Case cases[] = {
        {"L     0 0.000000 1.500000 -2.000000 3.000000", true, L(0, 1.5, -2, 3)},
        {"Lxyz -7\t+1 -2 .5 3e2trailing\r", true, L(1, -2, 0.5, 300)},
        {"L 99999999999999999999999999 1 2 3 4 5 6", true, L(1, 2, 3, 4)},
        {"C 1 1e-999 -1e-999 1. 0x1.8p1 0xg", true, C(0, -0.0, 1, 3, 0)},
        {"L 0 1 2 3 4\0 junk"sv, true, L(1, 2, 3, 4)},
        {"L\0 0 1 2 3 4"sv, false, {}},
        {"L 0 1 2 3", false, {}},
        {"C 0 1 2 3 4 nan", false, {}},
        {"L 0 1 inf 3 4", false, {}},
        {"L 0 1 2 -1e309 4", false, {}},
        {"L 0 1 2 -1e15 4", true, L(1, 2, -1e15, 4)},
        {"C 0 1 2 1.000001e15 4 5", false, {}},
        {"L 0 1 2 0x1p1024 4", false, {}},
        {"L x 1 2 3 4", false, {}},
        {"L 0 +-1 2 3 4", false, {}},
        {"L 0 1 2 3 .", false, {}},
        {" L 0 1 2 3 4", false, {}},
        {"l 0 1 2 3 4", false, {}},
        {"P     0 2 76     0 76     0 0.000000 0.000000", false, {}},
        {"\r", false, {}},
    };
    for (const Case& c : cases) {
        DacRecord r{'?', {9, 9, 9, 9, 9}};
        EXPECT_EQ(ParseExact(c.text, r), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(r, c.want) << c.text;
        }
    }
    const std::string_view full = "C 12 -1.25e2 2 3 4.5 0x5p-1";
    for (size_t n = 0; n <= full.size(); ++n) {
        DacRecord r;
        EXPECT_EQ(ParseExact(full.substr(0, n), r), n >= 22) << n;
    }
}

TEST(DacFile, LinesEndOnlyAtLineFeedsAndLongLinesAreReadWhole) {
    EXPECT_EQ(
        Read("L 0 1 2 3 4\r\nP 0 0 0 0 0 0 0 0\nC 0 1 2 3 4 5\n\n L 0 5 5 5 5\r\nL 1 6 7 8 9"),
        (std::vector<DacRecord>{L(1, 2, 3, 4), C(1, 2, 3, 4, 5), L(6, 7, 8, 9)}));
    // A cut anywhere in a long index, number or trailing text would lose the record or make
    // records of the rest; the last line also spans the file reader's first chunk boundary.
    std::string bytes = "L 0" + std::string(290, '0') + " 1 2 3 4\r\n";
    bytes += "L 0 1 2 3 0." + std::string(100000, '0') + "1e100001\r\n";
    bytes += "C 0 1 2 3 4 5";
    for (int i = 0; i < 90000; ++i) bytes += " C 0 9 9 9 9 9";
    // Past the length limit a line is dropped whole; at the limit it is read.
    std::string huge = "\nL 0 1 2 3 4" + std::string(kDacMaxLineBytes, ' ') + "L 0 7 7 7 7";
    bytes += huge + "\nL 0 5 6 7 8" + std::string(kDacMaxLineBytes - 11, 'x') + huge;
    bytes += "\r\nL 0 6 7 8 9";
    const std::vector<DacRecord> want = {L(1, 2, 3, 4), L(1, 2, 3, 1), C(1, 2, 3, 4, 5),
                                         L(5, 6, 7, 8), L(6, 7, 8, 9)};
    EXPECT_EQ(Read(bytes), want);
    QTemporaryDir dir;
    Put(dir.filePath("long.dac"), bytes);
    std::vector<DacRecord> fromFile;
    EXPECT_TRUE(ReadDacFile(dir.filePath("long.dac").toStdString(), fromFile));
    EXPECT_EQ(fromFile, want);
}

TEST(DacFile, TruncatedOrDamagedFilesGiveOnlyFiniteLineAndCircleRecords) {
    const std::string golden = Slurp(kDrawing);
    auto check = [](std::string_view bytes) {
        std::vector<DacRecord> records = Read(bytes);
        for (const DacRecord& r : records) {
            EXPECT_TRUE(r.kind == 'L' || r.kind == 'C');
            for (double v : r.v) EXPECT_TRUE(std::isfinite(v));
        }
        DrawingStore s;
        AppendDacRecords(s, records);
        return records.size();
    };
    for (size_t n = 0; n <= golden.size(); ++n) check(std::string_view(golden).substr(0, n));
    // Random bytes changed, put in and taken out.
    std::mt19937 rng(7);
    const std::string_view alphabet = "LCP0123456789.eExXpP+- \t\r\n\0inaf"sv;
    size_t total = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string bytes = golden;
        for (int n = 1 + int(rng() % 8); n > 0 && !bytes.empty(); --n) {
            size_t at = rng() % bytes.size();
            char c = i % 3 ? alphabet[rng() % alphabet.size()] : char(rng());
            int how = int(rng() % 3);
            if (how == 0) bytes[at] = c;
            if (how == 1) bytes.insert(at, 1, c);
            if (how == 2) bytes.erase(at, 1 + rng() % 40);
        }
        total += check(bytes);
    }
    EXPECT_GT(total, 3000u);
}

// Dropping the cached pages of the file a save replaces: whatever the path names, the files
// keep their bytes and nothing waits (a pipe is not opened for reading as a file); a file
// named as the exception keeps its pages where the system can tell.
TEST(DacFile, DroppingCachedPagesLeavesEveryFileAsItWas) {
    QTemporaryDir dir;
    const QString file = dir.filePath("old.dac"), pipe = dir.filePath("pipe.dac");
    const std::string bytes(1 << 20, 'x');
    Put(file, bytes);
    ASSERT_EQ(mkfifo(pipe.toStdString().c_str(), 0600), 0);
    for (const QString& path : {file, pipe, dir.path(), dir.filePath("missing.dac")})
        DropCachedPages(path.toStdString());
    // Residency as mincore sees it: all gone where the file system drops clean pages.
    const int fd = ::open(file.toStdString().c_str(), O_RDONLY);
    ASSERT_TRUE(fd >= 0 && ::fsync(fd) == 0);
    void* map = ::mmap(nullptr, bytes.size(), PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(map, MAP_FAILED);
    auto resident = [&] {
        std::vector<unsigned char> pages(bytes.size() / 4096);
        ::mincore(map, bytes.size(), pages.data());
        return std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; });
    };
    EXPECT_EQ(Slurp(file), bytes);
    const auto before = resident();
    DropCachedPages(file.toStdString(), file.toStdString());
    EXPECT_EQ(resident(), before);
    DropCachedPages(file.toStdString());
    EXPECT_TRUE(resident() == 0 || resident() == before);
    ::munmap(map, bytes.size());
    ::close(fd);
    EXPECT_EQ(Slurp(file), bytes);
}

TEST(DacFile, SavingReplacesTheFileWholeOrLeavesItUntouched) {
    QTemporaryDir dir;
    const QString path = dir.filePath("drawing.dac");
    const std::string old = std::string(50000, 'x') + "\r\n";
    Put(path, old);
    DrawingStore small;
    small.AddLine(0, 0, 10, 5, 0);
    ASSERT_TRUE(SaveDacFile(path.toStdString(), small));
    EXPECT_EQ(Slurp(path), Written(small));

    DrawingStore big;
    for (int i = 0; i < 8000; ++i) big.AppendLine(0, i, 100, i);
    Put(path, old);
    // A full disk, as the kernel reports it to a process over its file size limit.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit low = limit;
    low.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    bool saved = SaveDacFile(path.toStdString(), big);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(Slurp(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"drawing.dac"});

    EXPECT_FALSE(SaveDacFile(dir.filePath("missing/drawing.dac").toStdString(), small));
    EXPECT_FALSE(SaveDacFile(dir.path().toStdString(), small));
    std::vector<DacRecord> records;
    EXPECT_FALSE(ReadDacFile(dir.filePath("missing.dac").toStdString(), records));
    EXPECT_FALSE(ReadDacFile(dir.path().toStdString(), records));

    // Chunks stay near 1 MiB, and the first failing one ends the writing.
    std::string whole;
    int chunks = 0;
    EXPECT_TRUE(WriteDacRecords(big, [&](std::string_view chunk) {
        EXPECT_LE(chunk.size(), (size_t(1) << 20) + 2048);
        whole.append(chunk);
        return ++chunks > 0;
    }));
    EXPECT_EQ(whole, Written(big));
    EXPECT_GE(chunks, 2);
    int calls = 0;
    EXPECT_FALSE(WriteDacRecords(big, [&](std::string_view) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
}

// Colours, pen widths, fills and texts travel in records the plain reader skips: a styled
// drawing comes back field by field, and the plain reader still finds the same geometry.
TEST(DacFile, StylesAndTextsRoundTripAndThePlainReaderSeesTheSameLinesAndCircles) {
    DrawingStore s;
    ASSERT_TRUE(s.CreateStore());
    ASSERT_TRUE(s.AppendLine(0, 0, 10, 0));
    ASSERT_TRUE(s.AppendLine(0, 5, 10, 5));  // stays white and thin: no style record
    ASSERT_TRUE(s.AppendCircle(3, 4, 5, 0, 0));
    ASSERT_TRUE(s.AppendCircle(-3, 4, 2, 30, 120));
    s.StyleLine(0, 2, 5);
    s.StyleCircle(0, 4, 3, 0, 6);  // filled
    // Files always held code page 932 bytes: the characters it has are written as before,
    // the others (Ä, €, an emoji beyond 16 bits) as escapes.
    ASSERT_TRUE(s.AppendText(1.5, -2, "居間 50%\tA Änd.€😀", 12, 90));
    s.text(0).colour = 3;
    ASSERT_TRUE(s.AppendText(0, 0, "", 1, 0));
    const std::string file = Written(s);
    EXPECT_NE(file.find("S 2 5 1 7\r\n"), std::string::npos);
    EXPECT_NE(file.find("T 1.500000 -2.000000 12.000000 90.000000 3 \x8b\x8f\x8a\xd4 50%25%09A "
                        "\\U+00C4nd.\\U+20AC\\U+D83D\\U+DE00\r\n"),
              std::string::npos);

    std::vector<DacRecord> plain, styled;
    DacExtras extras;
    ReadDacBytes(file, plain);
    ReadDacBytes(file, styled, &extras);
    EXPECT_EQ(plain, styled);
    ASSERT_EQ(plain.size(), 4u);
    EXPECT_EQ(extras.skippedLines, 0);

    DrawingStore back;
    ASSERT_TRUE(back.CreateStore());
    AppendDacRecords(back, styled, {}, &extras);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(back.line(i).colour, s.line(i).colour) << i;
        EXPECT_EQ(back.line(i).penWidth, s.line(i).penWidth) << i;
        EXPECT_EQ(back.circle(i).colour, s.circle(i).colour) << i;
        EXPECT_EQ(back.circle(i).penWidth, s.circle(i).penWidth) << i;
        EXPECT_EQ(back.circle(i).fillStyle, s.circle(i).fillStyle) << i;
        if (s.circle(i).fillStyle == 0) {
            EXPECT_EQ(back.circle(i).fillColour, s.circle(i).fillColour) << i;
        }
        EXPECT_EQ(back.text(i).text, s.text(i).text) << i;
        EXPECT_EQ(back.text(i).colour, s.text(i).colour) << i;
        EXPECT_EQ(back.text(i).x, s.text(i).x) << i;
        EXPECT_EQ(back.text(i).height, s.text(i).height) << i;
        EXPECT_EQ(back.text(i).angle, s.text(i).angle) << i;
    }
    EXPECT_EQ(back.textCount, 2);
    EXPECT_EQ(back.widestPen(), 5);

    // Bad style and text records are skipped and counted; a style without its element, or
    // after a record that did not read, styles nothing. Old files end lines with CR alone.
    ReadDacBytes("L 0 0 0 1 1\rS 300 1 1 7\rX\rS 2 1 1 7\rT 0 0 -1 0 7 a\rT 0 0 1 0 7 %zz\r"
                 "C 0 0 0 1 0 0\rS 3 2 0 3\r",
                 styled, &extras);
    ASSERT_EQ(styled.size(), 2u);
    EXPECT_EQ(extras.skippedLines, 5);
    ASSERT_EQ(extras.styles.size(), 1u);
    EXPECT_EQ(extras.styles[0].record, 1u);
    EXPECT_TRUE(extras.texts.empty());
}

namespace {

// The records one printf each, as the file has always held them (ASCII texts only).
std::string PrintedRecords(const DrawingStore& s) {
    std::string out;
    char text[1024];
    auto put = [&](int n) { out.append(text, size_t(n)); };
    for (int32_t i = 0; i <= s.lineTop; ++i) {
        const LineElement& l = s.lines()[size_t(i)];
        if (!l.alive) continue;
        put(std::snprintf(text, sizeof text, "L %5d %.6lf %.6lf %.6lf %.6lf\r\n", i, l.x1, l.y1,
                          l.x2, l.y2));
        if (l.colour != 7 || l.penWidth != 1)
            put(std::snprintf(text, sizeof text, "S %d %d 1 7\r\n", l.colour, l.penWidth));
    }
    for (int32_t i = 0; i <= s.circleTop; ++i) {
        const CircleElement& c = s.circles()[size_t(i)];
        if (!c.alive) continue;
        put(std::snprintf(text, sizeof text, "C %5d %.6lf %.6lf %.6lf %.6lf %.6lf\r\n", i, c.cx,
                          c.cy, c.radius, c.startAngle, c.endAngle));
        if (c.colour != 7 || c.penWidth != 1 || c.fillStyle != 1)
            put(std::snprintf(text, sizeof text, "S %d %d %d %d\r\n", c.colour, c.penWidth,
                              c.fillStyle, c.fillColour));
    }
    for (int32_t i = 0; i < s.textCount; ++i) {
        const TextElement& t = s.text(i);
        if (!t.alive) continue;
        put(std::snprintf(text, sizeof text, "T %.6lf %.6lf %.6lf %.6lf %d ", t.x, t.y, t.height,
                          t.angle, t.colour));
        for (unsigned char c : t.text)
            put(c < 0x20 || c == '%' ? std::snprintf(text, sizeof text, "%%%02X", c)
                                     : std::snprintf(text, sizeof text, "%c", c));
        out += "\r\n";
    }
    for (int32_t i = 0; i <= s.pointTop; ++i) {
        const PointElement& p = s.points()[size_t(i)];
        put(std::snprintf(text, sizeof text, "P %5d %d %d %5d %d %5d %.6lf %.6lf\r\n", i, p.kind,
                          p.owner1Kind, p.owner1Index, p.owner2Kind, p.owner2Index, p.x, p.y));
    }
    return out;
}

}  // namespace

// A drawing of several megabytes is formatted in slices on worker threads: what arrives
// is what the records say, in their order, whatever the slices' boundaries (deleted lines
// and freed point slots, styles, texts, coordinates of every length).
TEST(DacFile, ALargeDrawingIsWrittenAsItsRecordsOneByOne) {
    DrawingStore s;
    ASSERT_TRUE(s.CreateStore());
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> x(-60000, 60000), length(0.001, 900);
    for (int i = 0; i < 30000; ++i) {  // parallel lines: no crossings, three points each
        const double a = x(rng), y = i * 0.37 - 5000;
        ASSERT_TRUE(s.AppendLine(a, y, a + length(rng), y));
        if (i % 5 == 0) s.StyleLine(i, i % 256, 1 + i % 7);
    }
    for (int i = 0; i < 3000; ++i) {  // apart from the lines and from each other
        ASSERT_TRUE(s.AppendCircle(100000 + (i % 60) * 10.0, (i / 60) * 10.0, 1 + i % 4 * 0.7,
                                   i % 3 ? 0 : 10.5, i % 3 ? 0 : 200.25));
        if (i % 4 == 0) s.StyleCircle(i, i % 16, 2, uint8_t(i % 8 == 0 ? 0 : 1), i % 12);
    }
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(s.AppendText(i * 3.5, -i, "room " + std::to_string(i) + " 50%\t", 2.5, i));
    for (int i = 0; i < 30000; i += 11) s.DeleteLine(i, 0);
    const std::string printed = PrintedRecords(s);
    ASSERT_GT(printed.size(), size_t(6) << 20);

    std::string written;
    EXPECT_TRUE(WriteDacRecords(s, [&](std::string_view piece) {
        EXPECT_LE(piece.size(), size_t(1) << 20);
        EXPECT_TRUE(piece.ends_with("\r\n"));
        written += piece;
        return true;
    }));
    EXPECT_TRUE(written == printed);  // not EXPECT_EQ: megabytes of difference help no one
    if (written != printed) {
        const size_t at = size_t(
            std::mismatch(written.begin(), written.end(), printed.begin(), printed.end()).first -
            written.begin());
        ADD_FAILURE() << "first difference at byte " << at << ": "
                      << written.substr(at - std::min<size_t>(at, 60), 120);
    }
}
