// DXF files as today's CAD programs write them: blocks placed, object coordinates, layers off
// and frozen, polyline flags and bulges, ellipses, multiline texts, hatches, code pages.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <sstream>

#include "files/DxfReader.h"
#include "model/DrawingStore.h"
#include "tests/files/StoreDump.h"

namespace {

// Pairs written as "code value code value ...", '`' standing for a blank in a value.
std::string Dxf(const std::string& pairs) {
    std::istringstream in(pairs);
    std::string code, value, out;
    while (in >> code >> value) {
        for (char& c : value)
            if (c == '`') c = ' ';
        out += code + "\n" + value + "\n";
    }
    return out;
}

struct Read {
    std::string dump;
    std::vector<std::string> notes;
};

Read Import(const std::string& pairs, const DxfReadSettings& settings = {}) {
    DrawingStore s;
    DxfReadReport report;
    ImportDxfBytes(Dxf(pairs), s, settings, report);
    return {Dump(s), report.notes};
}

const std::string kSquareBlock =  // block S, base (1, 1): a unit line and a quarter arc
    "0 SECTION 2 BLOCKS 0 BLOCK 8 0 2 S 10 1 20 1 "
    "0 LINE 8 0 10 1 20 1 11 2 21 1 0 ARC 8 0 10 1 20 1 40 1 50 0 51 90 "
    "0 ENDBLK 0 ENDSEC ";

struct PlacementCase {
    const char* what;
    std::string pairs;
    std::string expected;
};

TEST(DxfImport, BlockReferencesDrawTheirBlocksWhereTheyArePlaced) {
    const PlacementCase cases[] = {
        {"plain reference",
         kSquareBlock + "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 S 10 10 20 0 0 ENDSEC 0 EOF",
         "L 10 0 11 0\nC 10 0 1 0 90\n"},
        {"a quarter turn",
         kSquareBlock + "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 S 10 0 20 0 50 90 0 ENDSEC 0 EOF",
         "L 0 0 0 1\nC 0 0 1 90 180\n"},
        {"mirrored: the arc runs the other way",
         kSquareBlock + "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 S 10 0 20 0 41 -1 0 ENDSEC 0 EOF",
         "L -1 0 0 0\nC 0 0 1 90 180\n"},
        {"scaled twice",
         kSquareBlock + "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 S 10 0 20 0 41 2 42 2 0 ENDSEC 0 EOF",
         "L 0 0 2 0\nC 0 0 2 0 90\n"},
        {"an array of two columns and two rows",
         kSquareBlock +
             "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 S 10 0 20 0 70 2 71 2 44 5 45 7 0 ENDSEC 0 EOF",
         "L 0 0 1 0\nL 5 0 6 0\nL 0 7 1 7\nL 5 7 6 7\nC 0 0 1 0 90\nC 5 0 1 0 90\nC 0 7 1 0 "
         "90\nC 5 7 1 0 90\n"},
        {"nested three deep, the inner blocks defined after their use",
         "0 SECTION 2 BLOCKS 0 BLOCK 2 A 10 0 20 0 0 INSERT 8 0 2 B 10 100 20 0 0 ENDBLK "
         "0 BLOCK 2 B 10 0 20 0 0 INSERT 8 0 2 C 10 10 20 0 0 ENDBLK "
         "0 BLOCK 2 C 10 0 20 0 0 LINE 8 0 10 0 20 0 11 1 21 0 0 ENDBLK 0 ENDSEC "
         "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 A 10 1000 20 0 0 ENDSEC 0 EOF",
         "L 1110 0 1111 0\n"},
        {"a reference before its block, and a block name with blanks",
         "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 Door`36 10 0 20 5 0 ENDSEC "
         "0 SECTION 2 BLOCKS 0 BLOCK 2 Door`30 10 0 20 0 0 LINE 8 0 10 0 20 0 11 9 21 0 0 ENDBLK "
         "0 BLOCK 2 DOOR`36 10 0 20 0 0 LINE 8 0 10 0 20 0 11 1 21 0 0 ENDBLK 0 ENDSEC 0 EOF",
         "L 0 5 1 5\n"},
        {"attributes are texts; invisible ones and definitions are not",
         kSquareBlock + "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 S 10 0 20 0 66 1 "
                        "0 ATTRIB 8 0 10 3 20 4 40 2 1 A-1 2 TAG 70 0 "
                        "0 ATTRIB 8 0 10 3 20 4 40 2 1 hidden 2 T2 70 1 0 SEQEND 8 0 0 ENDSEC 0 EOF",
         "L 0 0 1 0\nC 0 0 1 0 90\nT 3 4 2 0 \"A-1\"\n"},
        {"dimensions draw their block where it stands",
         "0 SECTION 2 BLOCKS 0 BLOCK 2 *D1 10 5 20 5 0 LINE 8 0 10 0 20 0 11 4 21 0 0 ENDBLK "
         "0 ENDSEC 0 SECTION 2 ENTITIES 0 DIMENSION 8 0 2 *D1 10 4 20 0 0 ENDSEC 0 EOF",
         "L 0 0 4 0\n"},
    };
    for (const PlacementCase& c : cases) EXPECT_EQ(Import(c.pairs).dump, c.expected) << c.what;
}

// Read from a file, the pairs come in blocks that a second thread fills while the import
// reads; a block is filled again once the import has moved on. A reference whose pairs run
// over several blocks must still know what kind of reference it is when its pairs end.
TEST(DxfImport, AReferenceKnowsItsKindAfterPairsThatSpanTheReadersBlocks) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("long.dxf").toStdString();
    std::string comments;
    for (int i = 0; i < 60000; ++i) comments += "999 c ";
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromStdString(Dxf(
            "0 SECTION 2 BLOCKS 0 BLOCK 2 *D1 10 5 20 5 0 LINE 8 0 10 0 20 0 11 4 21 0 0 ENDBLK "
            "0 ENDSEC 0 SECTION 2 ENTITIES 0 DIMENSION 8 0 2 *D1 " + comments +
            "10 4 20 0 0 ENDSEC 0 EOF")));
    }
    DrawingStore s;
    DxfReadReport report;
    ASSERT_TRUE(ImportDxfFile(path, s, {}, report));
    EXPECT_EQ(Dump(s), "L 0 0 4 0\n");  // where it stands, not moved by the point 10/20
}

TEST(DxfImport, OnlyVisibleModelSpaceIsDrawnAndLoopsEndWithANote) {
    const Read r = Import(
        "0 SECTION 2 TABLES 0 TABLE 2 LAYER 0 LAYER 2 Off 62 -7 70 0 0 LAYER 2 Frozen 62 7 70 1 "
        "0 LAYER 2 On 62 7 70 0 0 ENDTAB 0 ENDSEC "
        "0 SECTION 2 BLOCKS 0 BLOCK 2 Loop 10 0 20 0 0 INSERT 8 0 2 Loop 10 1 20 0 "
        "0 LINE 8 0 10 0 20 0 11 0 21 1 0 ENDBLK "
        "0 BLOCK 2 Mixed 10 0 20 0 0 LINE 8 0 10 0 20 0 11 2 21 0 "
        "0 LINE 8 On 10 0 20 0 11 3 21 0 0 ENDBLK 0 ENDSEC "
        "0 SECTION 2 ENTITIES 0 LINE 8 Off 10 0 20 0 11 1 21 1 0 LINE 8 FROZEN 10 0 20 0 11 2 21 2 "
        "0 LINE 8 On 67 1 10 0 20 0 11 3 21 3 0 LINE 8 on 10 0 20 0 11 4 21 4 "
        "0 INSERT 8 Off 2 Mixed 10 0 20 10 0 INSERT 8 Frozen 2 Mixed 10 0 20 20 "
        "0 INSERT 8 0 2 Loop 10 0 20 30 0 POINT 8 0 10 0 20 0 0 ENDSEC 0 EOF");
    // The reference on the layer that is off still shows what its block has on a layer that
    // is on; the frozen one shows nothing; the loop is drawn once and then stopped.
    EXPECT_EQ(r.dump, "L 0 0 4 4\nL 0 10 3 10\nL 0 30 0 31\n");
    const std::vector<std::string> expected = {
        "自分自身を含むか入れ子が 64 段より深いブロック参照 1 個を描きませんでした",
        "ペーパー空間の図形 1 個は描きませんでした",
        "非表示またはフリーズされた画層の図形 2 個は描きませんでした",
        "読み込まない種類の図形を読み飛ばしました: POINT 1 個"};
    EXPECT_EQ(r.notes, expected);

    // References that multiply: the import stops at its bound with a note, never hangs.
    DxfReadSettings small;
    small.maxInsertedElements = 1000;
    const Read many = Import(
        kSquareBlock +
            "0 SECTION 2 ENTITIES 0 INSERT 8 0 2 S 70 30000 71 30000 44 1 45 1 0 ENDSEC 0 EOF",
        small);
    EXPECT_LE(std::count(many.dump.begin(), many.dump.end(), '\n'), 1000);
    EXPECT_NE(many.notes.back().find("途中まで"), std::string::npos);
}

TEST(DxfImport, ObjectCoordinatesPolylinesAndTheirFlags) {
    const PlacementCase cases[] = {
        {"mirrored arc and circle",
         "0 ARC 8 0 10 5 20 1 40 1 50 0 51 90 210 0 220 0 230 -1 "
         "0 CIRCLE 8 0 10 5 20 1 40 2 210 0 220 0 230 -1 0 EOF",
         "C -5 1 1 90 180\nC -5 1 2 0 0\n"},
        {"closed polyline: its closing segment",
         "0 POLYLINE 8 0 66 1 70 1 0 VERTEX 8 0 10 0 20 0 0 VERTEX 8 0 10 2 20 0 "
         "0 VERTEX 8 0 10 2 20 2 0 SEQEND 8 0 0 EOF",
         "L 0 0 2 0\nL 2 0 2 2\nL 0 0 2 2\n"},
        {"bulges: a half circle each way",
         "0 LWPOLYLINE 8 0 90 3 70 0 10 0 20 0 42 1 10 2 20 0 42 -1 10 4 20 0 0 EOF",
         "C 1 0 1 180 0\nC 3 0 1 0 180\n"},
        {"mirrored lightweight polyline",
         "0 LWPOLYLINE 8 0 90 2 70 0 10 1 20 1 10 2 20 1 210 0 220 0 230 -1 0 EOF",
         "L -2 1 -1 1\n"},
        {"spline-fit: the fitted vertices, not the frame",
         "0 POLYLINE 8 0 70 4 0 VERTEX 8 0 10 0 20 0 70 16 0 VERTEX 8 0 10 9 20 9 70 16 "
         "0 VERTEX 8 0 10 0 20 1 70 8 0 VERTEX 8 0 10 1 20 1 70 8 0 SEQEND 8 0 0 EOF",
         "L 0 1 1 1\n"},
        {"polyface mesh: the edges of its faces",
         "0 POLYLINE 8 0 70 64 71 3 72 1 0 VERTEX 8 0 10 0 20 0 70 192 "
         "0 VERTEX 8 0 10 1 20 0 70 192 0 VERTEX 8 0 10 0 20 1 70 192 "
         "0 VERTEX 8 0 10 0 20 0 70 128 71 1 72 2 73 -3 0 SEQEND 8 0 0 EOF",
         "L 0 0 1 0\nL 0 1 1 0\nL 0 0 0 1\n"},
        {"the last polyline of a section ends at its SEQEND",
         "0 SECTION 2 ENTITIES 0 POLYLINE 8 0 0 VERTEX 8 0 10 0 20 0 0 VERTEX 8 0 10 1 20 0 "
         "0 SEQEND 0 ENDSEC 0 EOF",
         "L 0 0 1 0\n"},
        {"solid corners go 1 2 4 3; a face's in order",
         "0 SOLID 8 0 10 0 20 0 11 1 21 0 12 0 22 1 13 1 23 1 "
         "0 3DFACE 8 0 10 5 20 0 11 6 21 0 12 6 22 1 13 6 23 1 0 EOF",
         "L 0 0 1 0\nL 1 0 1 1\nL 0 1 1 1\nL 0 0 0 1\nL 5 0 6 0\nL 6 0 6 1\nL 5 0 6 1\n"},
        {"a degree-1 spline keeps its corners",
         "0 SPLINE 8 0 71 1 72 5 73 3 40 0 40 0 40 1 40 2 40 2 10 0 20 0 10 1 20 1 10 2 20 0 "
         "0 EOF",
         "L 0 0 1 1\nL 1 1 2 0\n"},
        {"hatch boundaries: a polyline with a bulge, and edges with a clockwise arc",
         "0 HATCH 8 0 10 0 20 0 30 0 2 SOLID 70 1 71 0 91 2 "
         "92 2 72 1 73 1 93 2 10 0 20 0 42 1 10 2 20 0 42 0 97 0 "
         "92 1 93 2 72 1 10 5 20 0 11 7 21 0 72 2 10 6 20 0 40 1 50 0 51 180 73 0 97 0 "
         "75 1 76 1 98 1 10 3 20 3 0 EOF",
         "L 0 0 2 0\nL 5 0 7 0\nC 1 0 1 180 0\nC 6 0 1 180 360\n"},
    };
    for (const PlacementCase& c : cases) EXPECT_EQ(Import(c.pairs).dump, c.expected) << c.what;
}

TEST(DxfImport, EllipsesAndMultilineTexts) {
    DrawingStore s;
    DxfReadReport report;
    // A quadrant of an ellipse 4 by 2, from its major to its minor end.
    ImportDxfBytes(Dxf("0 ELLIPSE 8 0 10 0 20 0 11 4 21 0 40 0.5 41 0 42 1.5707963267948966 "
                       "0 ELLIPSE 8 0 10 10 20 0 11 0 21 3 40 1 41 0 42 6.283185307179586 0 EOF"),
                   s, {}, report);
    int32_t lines = 0, majorEnd = 0, minorEnd = 0;
    double worst = 0;
    for (int32_t i = 0; i <= s.lineTop; ++i) {
        const LineElement& l = s.line(i);
        if (!l.alive) continue;
        ++lines;
        for (auto [x, y] : {std::pair{l.x1, l.y1}, std::pair{l.x2, l.y2}}) {
            majorEnd += x == 4.0 && y == 0.0;
            minorEnd += std::fabs(x) < 1e-12 && y == 2.0;
        }
        const double mx = (l.x1 + l.x2) / 2, my = (l.y1 + l.y2) / 2;
        worst = std::max(worst, std::fabs(std::hypot(mx / 4, my / 2) - 1.0));
    }
    EXPECT_GE(lines, 25);
    EXPECT_EQ(majorEnd, 1);  // the chain runs from end to end
    EXPECT_EQ(minorEnd, 1);
    EXPECT_LT(worst, 1e-3);  // the chords hug the curve
    // A circular ellipse is a circle.
    EXPECT_NE(Dump(s).find("C 10 0 3 0 0\n"), std::string::npos);

    const Read text = Import(
        "0 MTEXT 8 0 10 1 20 10 40 3 71 1 3 {\\fArial|b0;Hello}\\P\\H2.5x;Wor 1 ld\\~!\\P\\S1^`2; "
        "0 MTEXT 8 0 10 0 20 0 40 1 11 0 21 1 1 up 101 Embedded`Object 70 1 10 1 20 0 11 5 21 5 "
        "0 EOF");
    EXPECT_EQ(text.dump,
              "T 1 10 3 0 \"Hello\"\nT 1 5 3 0 \"World !\"\nT 1 0 3 0 \"1^2\"\nT 0 0 1 90 \"up\"\n");
}

TEST(DxfImport, TextsKeepTheirCharactersWhateverTheFileEncodes) {
    struct TextCase {
        const char* what;
        std::string header;
        std::string raw;
        std::string utf8;
    } cases[] = {
        {"Western code page", "9 $ACADVER 1 AC1015 9 $DWGCODEPAGE 3 ANSI_1252", "\xC4nd.",
         "\xC3\x84nd."},
        {"Japanese code page", "9 $ACADVER 1 AC1015 9 $DWGCODEPAGE 3 ANSI_932", "\x8A\xBF",
         "\xE6\xBC\xA2"},
        {"UTF-8 from R2007", "9 $ACADVER 1 AC1021 9 $DWGCODEPAGE 3 ANSI_1252", "\xE6\xBC\xA2",
         "\xE6\xBC\xA2"},
        {"escapes and control codes", "9 $ACADVER 1 AC1015", "\\U+6F22%%d%%c", "\xE6\xBC\xA2\xC2\xB0\xE2\x8C\x80"},
    };
    for (const TextCase& c : cases) {
        const Read r = Import("0 SECTION 2 HEADER " + c.header + " 0 ENDSEC 0 SECTION 2 ENTITIES "
                              "0 TEXT 8 0 10 0 20 0 40 1 1 " + c.raw + " 0 ENDSEC 0 EOF");
        EXPECT_EQ(r.dump, "T 0 0 1 0 \"" + Escaped(c.utf8) + "\"\n") << c.what;
    }
}

TEST(DxfImport, ABinaryDxfIsRefusedAndTheStoreKept) {
    DrawingStore s;
    s.AppendLine(0, 0, 1, 1);
    DxfReadReport report;
    const std::string binary = std::string(kBinaryDxfSentinel) + "\x00\x00SECTION";
    EXPECT_FALSE(ImportDxfBytes(binary, s, {}, report));
    EXPECT_NE(report.refusal.find("バイナリ形式"), std::string::npos);
    EXPECT_EQ(Dump(s), "L 0 0 1 1\n");
}

}  // namespace
