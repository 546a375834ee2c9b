// Drawing with the mouse and typed coordinates through the real window.
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QMouseEvent>

#include "tests/window/test_TForm1Fixture.h"

namespace {

using TForm1ToolsTest = TForm1Test;

}  // namespace

TEST_F(TForm1ToolsTest, TwoClicksMakeOneLineAndTheThirdStartsTheNext) {
    form->SnapDistance = 0;  // no snapping in this test
    Button("SpeedButton3")->click();
    EXPECT_EQ(form->commandCode, 101);
    EXPECT_EQ(form->toolStep, 0);
    Click(At(0, 0));
    Click(At(100, 50));
    ASSERT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->store.line(0).x2, 100.0);
    EXPECT_EQ(form->store.line(0).y2, 50.0);
    Click(At(10, 10));
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->toolStep, 9);
    // The same point twice: a message, and the command keeps waiting.
    Click(At(10, 10));
    EXPECT_EQ(prompts.messageTexts().back(), "選択が同じです");
    EXPECT_EQ(form->toolStep, 9);
    // A right click does nothing.
    Click(At(40, 40), Qt::RightButton);
    EXPECT_EQ(AliveLines(), 1);
    Click(At(-20, 10));
    EXPECT_EQ(AliveLines(), 2);
    EXPECT_EQ(form->store.line(1).x1, -20.0);
}

TEST_F(TForm1ToolsTest, ALineStartedNearAnEndPointStartsExactlyOnIt) {
    form->store.AddLine(0.5, 0.25, 80, 0.25, 1);
    Button("SpeedButton3")->click();
    Hover(At(5, 3));  // a few pixels off the end point
    EXPECT_EQ(form->store.snapIndex, 0);
    EXPECT_NE(form->StatusPanelText(1).indexOf("選択点="), -1);
    Click(At(5, 3));
    Hover(At(40, 60));
    Click(At(40, 60));
    ASSERT_EQ(AliveLines(), 2);
    const LineElement& l = form->store.line(1);
    EXPECT_EQ(l.x1, 0.5);
    EXPECT_EQ(l.y1, 0.25);
}

TEST_F(TForm1ToolsTest, ARectangleMakesFourLinesInOrderAndFourUndoEntries) {
    form->SnapDistance = 0;
    Button("SpeedButton4")->click();
    Click(At(0, 0));
    Click(At(10, 5));
    ASSERT_EQ(AliveLines(), 4);
    const double expect[4][4] = {{0, 0, 10, 0}, {0, 5, 10, 5}, {0, 0, 0, 5}, {10, 0, 10, 5}};
    for (int i = 0; i < 4; ++i) {
        const LineElement& l = form->store.line(i);
        EXPECT_EQ(l.x1, expect[i][0]);
        EXPECT_EQ(l.y1, expect[i][1]);
        EXPECT_EQ(l.x2, expect[i][2]);
        EXPECT_EQ(l.y2, expect[i][3]);
    }
    EXPECT_EQ(form->journal.journalPos(), 4);
}

TEST_F(TForm1ToolsTest, TypedRadiusCircleRepeatsPerClickAndTypedPointsFollowTheUserOrigin) {
    form->SnapDistance = 0;
    form->Edit3->setText("7.5");
    Button("SpeedButton10")->click();
    EXPECT_TRUE(form->Edit3->isVisible());
    Click(At(0, 0));
    Click(At(50, 0));
    EXPECT_EQ(form->store.circle(0).radius, 7.5);
    EXPECT_EQ(form->store.circle(1).cx, 50.0);
    // User origin at (100, 50): typing 10 and 20 gives (110, 70).
    form->ucsOn = 1;
    form->ucsOriginX = 100;
    form->ucsOriginY = 50;
    Button("SpeedButton3")->click();
    form->Edit1->setText("10");
    Type(form->Edit2, "20");
    EXPECT_EQ(form->toolStep, 9);
    form->Edit1->setText("0");
    Type(form->Edit2, "0");
    ASSERT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->store.line(0).x2, 110.0);
    EXPECT_EQ(form->store.line(0).y2, 70.0);
    // Text that is not a number: the conversion error, and nothing is added.
    form->Edit1->setText("abc");
    Type(form->Edit2, "5");
    EXPECT_EQ(prompts.messageTexts().back(), "'abc' は有効な数値ではありません");
    EXPECT_EQ(AliveLines(), 1);
}

TEST_F(TForm1ToolsTest, EnterWhileAnEditCommandWaitsForAPickRunsNothing) {
    form->store.AddLine(0, 0, 100, 0, 1);
    Button("SpeedButton28")->click();  // delete
    EXPECT_EQ(form->commandCode, 111);
    form->store.pickedLine = 0;  // a stale pick
    form->Edit1->setText("1");
    Type(form->Edit2, "1");
    EXPECT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->toolStep, 1);
}

TEST_F(TForm1ToolsTest, TheSnapMarkerAppearsAndGoesWithThePixelsRestored) {
    form->store.AddLine(0, 0, 100, 0, 1);
    Settle();
    Button("SpeedButton3")->click();
    Hover(At(200, 120));
    const QImage before = form->canvas.image().copy();
    Hover(At(3, 2));
    EXPECT_EQ(form->store.snapIndex, 0);
    EXPECT_NE(form->canvas.image(), before);
    Hover(At(200, 120));
    EXPECT_EQ(form->store.snapIndex, -1);
    EXPECT_EQ(form->canvas.image(), before);
}

TEST_F(TForm1ToolsTest, TrackingShowsBandMarkerAndHighlightInAScreenshot) {
    // For a person to look at: a rubber band caught on an end point, then a picked line
    // drawn highlighted, side by side.
    form->store.AddLine(-200, -100, 200, -100, 1);
    form->store.AddLine(200, -100, 200, 100, 1);
    form->store.AddCircle(-80, 20, 60, 0, 0, 1);
    Settle();

    Button("SpeedButton3")->click();
    Click(At(-200, 100));
    Hover(At(197, 97));  // near nothing: the band follows the mouse freely
    Hover(At(202, -98));  // near the corner: marker, and the band ends on the corner
    EXPECT_EQ(form->store.snapIndex, 1);
    const QImage band = form->canvas.image().copy();

    Button("SpeedButton28")->click();  // delete: waits for a pick
    Settle();
    Hover(At(0, -101));
    EXPECT_NE(form->canvas.image(), band);
    const QImage pick = form->canvas.image().copy();

    QImage sheet(band.width() * 2, band.height(), QImage::Format_RGB32);
    QPainter painter(&sheet);
    painter.drawImage(0, 0, band);
    painter.drawImage(band.width(), 0, pick);
    painter.end();
    const QString path = QDir(QStringLiteral(KORVO_SHOT_DIR)).filePath("korvo-tracking.png");
    ASSERT_TRUE(sheet.save(path)) << path.toStdString();
}
