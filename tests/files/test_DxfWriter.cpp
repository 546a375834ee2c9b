// The DXF writer: the designed bytes, texts and their code page, the all-or-nothing save.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "files/DxfWriter.h"
#include "model/DrawingStore.h"

namespace {

std::string Written(const DrawingStore& s) {
    std::string out;
    EXPECT_TRUE(WriteDxfRecords(s, [&](std::string_view chunk) {
        out.append(chunk);
        return true;
    }));
    return out;
}

std::string Slurp(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll().toStdString();
}

const QString kEmpty = KORVO_TEST_DATA "/dxf/export/empty.dxf";
const QString kDrawing = KORVO_TEST_DATA "/dxf/export/drawing.dxf";
const std::string kHeader = "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  0\r\nENDSEC\r\n";

}  // namespace

TEST(DxfWriter, AnEmptyDrawingIsTheDesignedPrologueAnEmptyEntitiesSectionAndTheEnd) {
    const std::string golden = Slurp(kEmpty);
    EXPECT_EQ(Written(DrawingStore{}), golden);
    // Each builder replaces what its text held; the prologue is made of the three sections.
    std::string header = "old", tables = "old", blocks = "old", prologue = "old", end = "old";
    WriteDxfHeader(header);
    WriteDxfTables(tables);
    WriteDxfBlocks(blocks);
    WriteDxfPrologue(prologue);
    WriteDxfEnd(end);
    EXPECT_EQ(header, kHeader);
    EXPECT_EQ(prologue, header + tables + blocks + "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n");
    EXPECT_EQ(prologue + end, golden);
}

TEST(DxfWriter, LinesThenCirclesAndArcsAreWrittenInSlotOrderSkippingDeletedSlots) {
    DrawingStore s;
    s.AddLine(12.5, -3, -0.5, 2.25, 0);  // kept from left to right
    s.AddLine(0, 0, 1, 1, 0);
    s.AddLine(3, 7.125, 3, -1e15, 0);
    s.AddCircle(1, 1, 1, 30, 120, 0);
    s.AddCircle(5, 5, 2.5, 0, 0, 0);
    s.AddCircle(-3, -4, 1.75, 0, 90, 0);
    s.DeleteLine(1, 0);
    s.DeleteCircle(0, 0);
    const std::string golden = Slurp(kDrawing);
    EXPECT_EQ(Written(s), golden);
    QTemporaryDir dir;
    const QString path = dir.filePath("drawing.dxf");
    ASSERT_TRUE(SaveDxfFile(path.toStdString(), s));
    EXPECT_EQ(Slurp(path), golden);
}

TEST(DxfWriter, TextsFollowTheCirclesInCodePage932AndTextsBeyondAsciiNameTheCodePage) {
    DrawingStore s;
    s.AddCircle(0, 0, 2, 0, 0, 0);
    // "日本 表": the second byte of "表" is a backslash in ASCII; "Ä" is not in the code page.
    const std::string japanese = "\x93\xfa\x96\x7b \x95\x5c\\U+00C4";
    ASSERT_TRUE(s.AppendText(1.5, -2, "A\r\nB\rC\nD", 3.5, 0));
    ASSERT_TRUE(s.AppendText(10, 20.25, "日本 表Ä", 2.5, 30));
    ASSERT_TRUE(s.AppendText(0, 0, "gone", 1, 0));
    s.text(2).alive = 0;
    std::string prologue, circle, end;
    WriteDxfPrologue(prologue);
    WriteDxfCircle(circle, 0, 0, 2);
    WriteDxfEnd(end);
    const std::string texts =
        "  0\r\nTEXT\r\n  8\r\n0\r\n  6\r\nCONTINUOUS\r\n 10\r\n1.500000\r\n 20\r\n-2.000000\r\n"
        " 30\r\n0.0\r\n 40\r\n3.500000\r\n  1\r\nA  B C D\r\n 50\r\n0.000000\r\n"
        "  0\r\nTEXT\r\n  8\r\n0\r\n  6\r\nCONTINUOUS\r\n 10\r\n10.000000\r\n 20\r\n20.250000\r\n"
        " 30\r\n0.0\r\n 40\r\n2.500000\r\n  1\r\n" +
        japanese + "\r\n 50\r\n30.000000\r\n";
    const std::string codePageHeader =
        "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1009\r\n"
        "  9\r\n$DWGCODEPAGE\r\n  3\r\nANSI_932\r\n  0\r\nENDSEC\r\n";
    EXPECT_EQ(Written(s), codePageHeader + prologue.substr(kHeader.size()) + circle + texts + end);

    // Plain ASCII texts leave the header as designed; a dead Japanese text does not count.
    s.text(1).alive = 0;
    const std::string written = Written(s);
    EXPECT_TRUE(written.starts_with(prologue + circle + "  0\r\nTEXT\r\n"));
    EXPECT_EQ(written.find(japanese), std::string::npos);
}

TEST(DxfWriter, AFailingSinkOrAFullDiskFailsTheSaveAndLeavesTheOldFileWhole) {
    EXPECT_FALSE(WriteDxfRecords(DrawingStore{}, [](std::string_view) { return false; }));
    DrawingStore big;
    for (int i = 0; i < 20000; ++i) big.AppendLine(0, i, 100, i);
    int calls = 0;
    EXPECT_FALSE(WriteDxfRecords(big, [&](std::string_view) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);

    QTemporaryDir dir;
    const QString path = dir.filePath("drawing.dxf");
    ASSERT_TRUE(SaveDxfFile(path.toStdString(), DrawingStore{}));
    // A full disk, as the kernel reports it to a process over its file size limit.
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit low = limit;
    low.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
    const bool saved = SaveDxfFile(path.toStdString(), big);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(Slurp(path), Slurp(kEmpty));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"drawing.dxf"});
    EXPECT_FALSE(SaveDxfFile(dir.filePath("missing/drawing.dxf").toStdString(), big));
}
