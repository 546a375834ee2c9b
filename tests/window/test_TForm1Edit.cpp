// The edit commands through the real window: palette buttons, picks by mouse, value box, undo.
#include <QLabel>
#include <QPlainTextEdit>
#include <cmath>
#include <tuple>
#include <vector>

#include "tests/window/test_TForm1Fixture.h"

namespace {

using Row = std::tuple<char, int, double, double, double, double, double>;

class TForm1EditTest : public TForm1Test {
protected:
    // Every alive element with its slot and geometry.
    std::vector<Row> Drawing() const {
        std::vector<Row> rows;
        const DrawingStore& s = form->store;
        for (int i = 0; i <= s.lineTop; ++i)
            if (s.line(i).alive) {
                const LineElement& l = s.line(i);
                rows.emplace_back('L', i, l.x1, l.y1, l.x2, l.y2, 0.0);
            }
        for (int i = 0; i <= s.circleTop; ++i)
            if (s.circle(i).alive) {
                const CircleElement& c = s.circle(i);
                rows.emplace_back('C', i, c.cx, c.cy, c.radius, c.startAngle, c.endAngle);
            }
        return rows;
    }
    void Undo(int times) {
        for (int i = 0; i < times; ++i) form->Undo1Click();
        Settle();
    }
    void ExpectLine(int slot, double x1, double y1, double x2, double y2) {
        const LineElement& l = form->store.line(slot);
        EXPECT_TRUE(l.alive) << "line " << slot;
        EXPECT_EQ(l.x1, x1) << "line " << slot;
        EXPECT_EQ(l.y1, y1) << "line " << slot;
        EXPECT_EQ(l.x2, x2) << "line " << slot;
        EXPECT_EQ(l.y2, y2) << "line " << slot;
    }
    std::string LastLogLine() const {
        QStringList lines = form->Memo1->toPlainText().split('\n');
        return lines.isEmpty() ? std::string() : lines.back().toStdString();
    }
};

}  // namespace

TEST_F(TForm1EditTest, IntersectTrimsCrossingLinesToTheClickedPartsAndUndoRestoresThem) {
    form->store.AddLine(0, 0, 100, 0, 1);     // A
    form->store.AddLine(50, -50, 50, 50, 1);  // B
    const auto before = Drawing();
    const int journalBefore = form->journal.journalPos();
    Button("SpeedButton32")->click();
    EXPECT_EQ(form->commandCode, 114);
    EXPECT_EQ(form->toolStep, 3);
    HoverAndClick(20, 2);  // A, left of the crossing
    EXPECT_EQ(form->toolStep, 4);
    EXPECT_EQ(form->store.firstPick, 0);
    HoverAndClick(20, 3);  // A again: ignored, still waiting for the second line
    EXPECT_EQ(form->toolStep, 4);
    HoverAndClick(48, 30);  // B, above the crossing
    EXPECT_EQ(form->toolStep, 3);
    ExpectLine(0, 0, 0, 50, 0);
    ExpectLine(1, 50, 0, 50, 50);
    EXPECT_EQ(form->journal.journalPos(), journalBefore + 4);  // two deletions, two additions
    Undo(1);  // one user action, one undo
    EXPECT_EQ(Drawing(), before);
}

TEST_F(TForm1EditTest, IntersectExtendsLinesThatDoNotMeetAndLeavesParallelLinesAsTheyWere) {
    form->store.AddLine(0, 0, 40, 0, 1);
    form->store.AddLine(50, 10, 50, 60, 1);
    Button("SpeedButton32")->click();
    HoverAndClick(20, 2);
    HoverAndClick(52, 40);
    ExpectLine(0, 0, 0, 50, 0);
    ExpectLine(1, 50, 0, 50, 60);

    form->store.AddLine(0, 200, 100, 200, 1);
    form->store.AddLine(0, 220, 100, 220, 1);
    const auto before = Drawing();
    HoverAndClick(30, 202);
    HoverAndClick(30, 222);
    EXPECT_EQ(Drawing(), before);
    EXPECT_EQ(form->toolStep, 3);
}

TEST_F(TForm1EditTest, FilletOfARightCornerAddsAQuarterArcWithTangentPointsTenFromTheCorner) {
    form->store.AddLine(0, 0, 100, 0, 1);
    form->store.AddLine(100, 0, 100, 100, 1);
    const auto before = Drawing();
    Button("SpeedButton26")->click();
    EXPECT_EQ(form->commandCode, 115);
    EXPECT_TRUE(form->Edit3->isVisible());
    EXPECT_TRUE(form->Bevel2->isVisible());
    EXPECT_EQ(form->Edit3->text(), "10");
    EXPECT_EQ(form->Label3->text(), "半径");
    EXPECT_TRUE(form->Edit3->hasFocus());
    HoverAndClick(50, 3);
    HoverAndClick(97, 50);
    ExpectLine(0, 0, 0, 90, 0);
    ExpectLine(1, 100, 10, 100, 100);
    ASSERT_EQ(AliveCircles(), 1);
    const CircleElement& arc = form->store.circle(0);
    EXPECT_EQ(arc.cx, 90.0);
    EXPECT_EQ(arc.cy, 10.0);
    EXPECT_EQ(arc.radius, 10.0);
    EXPECT_EQ(arc.startAngle, 270.0);
    EXPECT_EQ(arc.endAngle, 180 - std::acos(0.0) * 180 * 0.318309886183791 + 270);
    EXPECT_EQ(form->toolStep, 3);
    Undo(1);
    EXPECT_EQ(Drawing(), before);
}

TEST_F(TForm1EditTest, FilletWithRadiusZeroDoesNothingAndANegativeRadiusTrimsWithoutAnArc) {
    form->store.AddLine(0, 0, 100, 0, 1);
    form->store.AddLine(100, 0, 100, 100, 1);
    const auto before = Drawing();
    const int journalBefore = form->journal.journalPos();
    Button("SpeedButton26")->click();
    Type(form->Edit3, "0");
    HoverAndClick(50, 3);
    HoverAndClick(97, 50);
    EXPECT_EQ(Drawing(), before);
    EXPECT_EQ(form->journal.journalPos(), journalBefore);

    // A value box that is not a number: the conversion error, and nothing changes.
    prompts.clear();
    form->Edit3->setText("abc");
    HoverAndClick(50, 3);
    HoverAndClick(97, 50);
    EXPECT_EQ(prompts.messageTexts(),
              std::vector<std::string>{"'abc' は有効な数値ではありません"});
    EXPECT_EQ(Drawing(), before);

    Type(form->Edit3, "-10");
    HoverAndClick(50, 3);
    HoverAndClick(97, 50);
    ExpectLine(0, 0, 0, 90, 0);
    ExpectLine(1, 100, 10, 100, 100);
    EXPECT_EQ(AliveCircles(), 0);
}

TEST_F(TForm1EditTest, OffsetCopiesLinesToTheClickedSideAndCirclesInsideOrOutside) {
    form->store.AddLine(0, 0, 100, 0, 1);
    form->store.AddCircle(300, 0, 50, 0, 0, 1);
    form->store.AddCircle(600, 0, 5, 0, 0, 1);
    Button("SpeedButton27")->click();
    EXPECT_EQ(form->commandCode, 116);
    EXPECT_EQ(form->Label3->text(), "距離");
    EXPECT_EQ(form->Edit3->text(), "10");
    Type(form->Edit3, "5");
    HoverAndClick(50, 1);
    ExpectLine(1, 0, 5, 100, 5);
    HoverAndClick(50, -1);
    ExpectLine(2, 0, -5, 100, -5);
    EXPECT_EQ(form->toolStep, 1);

    Type(form->Edit3, "2");
    HoverAndClick(353, 0);  // outside the circle of radius 50
    ASSERT_EQ(AliveCircles(), 3);
    EXPECT_EQ(form->store.circle(2).radius, 52.0);
    EXPECT_EQ(form->store.circle(2).cx, 300.0);
    HoverAndClick(347, 0);  // inside it
    EXPECT_EQ(form->store.circle(3).radius, 48.0);

    // Farther than the radius: refused on both sides.
    Type(form->Edit3, "10");
    HoverAndClick(607, 0);
    HoverAndClick(601, 0);
    EXPECT_EQ(AliveCircles(), 4);
    Undo(4);
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(AliveCircles(), 2);
}

TEST_F(TForm1EditTest, SplitCutsLinesAtTheFootAndFullCirclesIntoTwoArcs) {
    Button("SpeedButton30")->click();  // snapping off: the click itself is the split point
    ASSERT_EQ(form->snapOn, 0);
    form->store.AddLine(0, 0, 10, 0, 1);
    form->store.AddCircle(200, 0, 50, 0, 0, 1);
    const auto before = Drawing();
    Button("SpeedButton36")->click();
    EXPECT_EQ(form->commandCode, 117);
    HoverAndClick(4, 3);
    EXPECT_EQ(AliveLines(), 2);
    ExpectLine(1, 0, 0, 4, 0);
    ExpectLine(0, 4, 0, 10, 0);
    HoverAndClick(13, 1);  // beyond the end: nothing
    EXPECT_EQ(AliveLines(), 2);

    HoverAndClick(200, 52);
    ASSERT_EQ(AliveCircles(), 2);
    const double a = 1.5708 * 0.318309886183791 * 180;  // 90 degrees, rounded in radians
    const CircleElement& first = form->store.circle(1);
    const CircleElement& second = form->store.circle(0);
    EXPECT_EQ(first.startAngle, 0.0);
    EXPECT_EQ(first.endAngle, a);
    EXPECT_EQ(second.startAngle, a);
    EXPECT_EQ(second.endAngle, 0.0);
    EXPECT_EQ(second.radius, 50.0);
    Undo(2);  // two splits
    EXPECT_EQ(Drawing(), before);
}

TEST_F(TForm1EditTest, SplittingAnArcAtItsOwnEndPointLeavesItAsItWas) {
    // Snapping catches the arc's end point; a split there once turned the arc into the arc
    // plus a full circle, because equal start and end angles mean a full circle.
    form->store.AddCircle(0, 0, 50, 0, 90, 1);
    const auto before = Drawing();
    Button("SpeedButton36")->click();
    HoverAndClick(49, 1);  // caught: the end point (50, 0) at the start angle
    EXPECT_EQ(form->store.snapPoint.x, 50.0);
    EXPECT_EQ(Drawing(), before);
    HoverAndClick(1, 49);  // the other end: its direction rounds past the arc, no split either
    EXPECT_EQ(Drawing(), before);
}

TEST_F(TForm1EditTest, DeleteRemovesThePickedElementAndAngleMeasurementLogsTheAngle) {
    form->store.AddLine(0, 0, 100, 0, 1);
    form->store.AddLine(50, -50, 50, 50, 1);
    form->store.AddCircle(300, 0, 50, 0, 0, 1);
    const auto before = Drawing();
    Button("SpeedButton38")->click();
    EXPECT_EQ(form->commandCode, 118);
    HoverAndClick(20, 2);
    HoverAndClick(48, 30);
    EXPECT_EQ(LastLogLine(), "なす角 = 90.0002104591498");
    EXPECT_EQ(Drawing(), before);

    Button("SpeedButton25")->click();
    EXPECT_EQ(form->commandCode, 119);

    Button("SpeedButton28")->click();
    EXPECT_EQ(form->commandCode, 111);
    HoverAndClick(353, 0);
    EXPECT_EQ(AliveCircles(), 0);
    HoverAndClick(20, 2);
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->toolStep, 1);
    Undo(2);
    EXPECT_EQ(Drawing(), before);
}
