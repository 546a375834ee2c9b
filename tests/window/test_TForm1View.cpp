// The main window's handlers: resize, colour box, new drawing, undo by Ctrl+Z, fit and zoom.
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "test_TForm1Fixture.h"
#include "window/ColourBox.h"

namespace {

void ClickTab(TForm1& form, int index) {
    QTabBar* tabs = form.PageControl1->findChild<QTabBar*>();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
}



// The world point under the centre of the visible part of the drawing panel.
WorldPoint VisibleCentre(const TForm1& form) {
    const SurfaceGeometry g = form.ReadSurface();
    return {form.view.WorldX(g.scrollX + g.panelW / 2), form.view.WorldY(g.scrollY + g.panelH / 2)};
}

}  // namespace

TEST_F(TForm1Test, ResizingKeepsTheCentreWorldPointAndTheScale) {
    const QSize before = form->DrawingPanelSize();
    const WorldPoint centre = {form->view.WorldX(before.width() / 2),
                               form->view.WorldY(before.height() / 2)};
    form->showNormal();
    form->resize(620, 500);
    Settle();
    const QSize after = form->DrawingPanelSize();
    ASSERT_NE(after, before);
    EXPECT_EQ(form->view.scale, 1.0);
    EXPECT_EQ(
        (WorldPoint{form->view.WorldX(after.width() / 2), form->view.WorldY(after.height() / 2)}),
        centre);
    EXPECT_EQ(form->view.viewExtentW, after.width());
    EXPECT_EQ(form->view.viewExtentH, after.height());
    // Until a zoom, the surface is the drawing panel.
    EXPECT_EQ(form->PaintBox1->size(), after);
    // The bands keep their size.
    EXPECT_EQ(form->Panel2->width(), 79);
    EXPECT_EQ(form->Panel3->height(), 47);
    EXPECT_EQ(form->CoolBar1->height(), 40);

    // Hiding the log and chat pane gives its height to the drawing panel, centre kept.
    QTest::mouseClick(Button("SpeedButton35"), Qt::LeftButton);
    Settle();
    EXPECT_TRUE(form->Panel3->isHidden());
    EXPECT_FALSE(Button("SpeedButton35")->isChecked());
    const QSize taller = form->DrawingPanelSize();
    EXPECT_EQ(taller.height(), after.height() + 47);
    EXPECT_EQ(
        (WorldPoint{form->view.WorldX(taller.width() / 2), form->view.WorldY(taller.height() / 2)}),
        centre);
    QTest::mouseClick(Button("SpeedButton35"), Qt::LeftButton);
    Settle();
    EXPECT_FALSE(form->Panel3->isHidden());
    EXPECT_EQ(form->DrawingPanelSize(), after);
}

TEST_F(TForm1Test, ChoosingBlueInTheColourBoxMakesTheNextLineAndCircleBlue) {
    form->ComboBox1->setFocus();
    QTest::keyClick(form->ComboBox1, Qt::Key_Home);  // the first item, "1:青"
    ASSERT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form->store.currentLine().colour, 1);
    EXPECT_EQ(form->store.currentCircle().colour, 1);
    EXPECT_EQ(form->store.currentCircle().fillColour, 1);

    form->store.AddLine(-50, 20, 50, 20, 1);
    form->store.currentCircle().fillStyle = 0;
    form->store.AddCircle(0, -40, 15, 0, 0, 1);
    EXPECT_EQ(form->store.line(0).colour, 1);
    EXPECT_EQ(form->store.circle(0).colour, 1);
    EXPECT_EQ(form->store.circle(0).fillColour, 1);
    // Drawn at once, and shown by the surface.
    const int ox = form->view.originX, oy = form->view.originY;
    EXPECT_EQ(ShownPixel(ox, oy - 20), 0x0000FFu);
    EXPECT_EQ(ShownPixel(ox, oy + 40), 0x0000FFu);  // inside the filled circle

    // Going down one item makes it red.
    QTest::keyClick(form->ComboBox1, Qt::Key_Down);
    EXPECT_EQ(form->store.currentLine().colour, 2);
}

TEST_F(TForm1Test, NewDrawingAsksFirstAndEmptiesTheDrawingOnlyOnOk) {
    form->store.AddLine(-30, 0, 30, 0, 1);
    const int ox = form->view.originX, oy = form->view.originY;
    ASSERT_EQ(ShownPixel(ox, oy), 0xFFFFFFu);

    // A changed drawing is asked about saving, which is the question to begin anew too.
    prompts.AnswerSaveQuestions({PromptAnswer::Cancel});
    QTest::mouseClick(Button("SpeedButton17"), Qt::LeftButton);
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].text, "図面が変更されています。保存しますか？");
    EXPECT_EQ(prompts.shown()[0].buttons, PromptButtons::SaveDiscardCancel);
    EXPECT_EQ(form->store.line(0).alive, 1);
    EXPECT_EQ(ShownPixel(ox, oy), 0xFFFFFFu);

    form->SpeedButton20Click();  // the view is kept by a new drawing
    const double scale = form->view.scale;
    prompts.AnswerSaveQuestions({PromptAnswer::No});
    QTest::mouseClick(Button("SpeedButton17"), Qt::LeftButton);
    EXPECT_EQ(prompts.shown().size(), 2u);
    EXPECT_EQ(form->store.line(0).alive, 0);
    EXPECT_EQ(form->store.lineTop, 0);
    EXPECT_EQ(form->view.scale, scale);
    EXPECT_EQ(ShownPixel(form->view.ScreenX(0), form->view.ScreenY(0)), 0x000000u);
    // The clear ends with the select tool of the active tab, ready to pan.
    EXPECT_EQ(form->commandCode, 100);
    EXPECT_EQ(form->toolStep, 5);
    EXPECT_EQ(form->paletteGroup->checkedButton(), Button("SpeedButton1"));
    EXPECT_EQ(form->store.currentLine().colour, 7);
    // A new drawing starts a new history: undo never brings back the old drawing's line.
    form->Undo1Click();
    EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("Nothing to UNDO."));
    EXPECT_EQ(AliveLines(), 0);
    // An unchanged drawing is asked only whether to begin anew.
    prompts.clear();
    prompts.AnswerMessages({PromptAnswer::Cancel});
    QTest::mouseClick(Button("SpeedButton17"), Qt::LeftButton);
    ASSERT_EQ(prompts.shown().size(), 1u);
    EXPECT_EQ(prompts.shown()[0].text, "新規作成します");
    EXPECT_EQ(prompts.shown()[0].caption, "Message");
    EXPECT_EQ(prompts.shown()[0].buttons, PromptButtons::OkCancel);
}

TEST_F(TForm1Test, CtrlZUndoesTheLastLineEvenFromAnEntryBoxAndLogsTheEntry) {
    form->store.AddLine(0, 0, 10, 5, 1);
    ASSERT_EQ(form->store.line(0).alive, 1);
    form->Edit1->setFocus();
    QTest::keyClick(form->Edit1, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form->store.line(0).alive, 0);
    EXPECT_EQ(form->Memo1->toPlainText(),
              QStringLiteral("L 0 7 0 1 0 0.000000 0.000000 10.000000 5.000000 no=  0"));
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("0"));
    EXPECT_EQ(ShownPixel(form->view.ScreenX(5), form->view.ScreenY(2.5)), 0x000000u);

    QTest::keyClick(form.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form->Memo1->toPlainText(),
              QStringLiteral("L 0 7 0 1 0 0.000000 0.000000 10.000000 5.000000 no=  0\n"
                             "Nothing to UNDO."));
}

TEST_F(TForm1Test, FitAllShowsTheLinesCentredOnA1280By1024Surface) {
    form->showNormal();
    form->resize(800, 600);
    Settle();
    const QSize panel = form->DrawingPanelSize();
    // The expected scale 8 holds for any panel from 600 x 300 to 1200 x 600.
    ASSERT_TRUE(panel.width() >= 600 && panel.width() < 1200 && panel.height() >= 300 &&
                panel.height() < 600)
        << panel.width() << " x " << panel.height();
    form->store.AddLine(-1000, -500, 3000, 1500, 1);
    form->store.AddLine(-1000, 1500, 3000, -500, 1);
    form->store.AddCircle(0, 0, 1.0e6, 0, 0, 1);  // circles do not count

    QTest::mouseClick(Button("SpeedButton21"), Qt::LeftButton);
    Settle();
    EXPECT_EQ(form->view.scale, 8.0);
    EXPECT_EQ(form->PaintBox1->size(), QSize(1280, 1024));
    EXPECT_EQ(HBar()->value(), (1280 - panel.width()) / 2);
    EXPECT_EQ(VBar()->value(), (1024 - panel.height()) / 2);
    EXPECT_EQ(form->view.originX, 640 - 125);
    EXPECT_EQ(form->view.originY, 512 + 62);
    EXPECT_EQ(form->StatusPanelText(0),
              QStringLiteral("(-1000.000000 -500.000000) (3000.000000 1500.000000) SC=8.000000"));
    // The crossing of the two lines, at the centre of the box, is on screen at (640, 512).
    EXPECT_EQ(form->view.ScreenX(1000), 640);
    EXPECT_EQ(ShownPixel(640, form->view.ScreenY(500)), 0xFFFFFFu);
    EXPECT_EQ(form->canvas.scrollX(), HBar()->value());
    EXPECT_EQ(form->canvas.scrollY(), VBar()->value());
}

TEST_F(TForm1Test, ZoomKeepsTheVisibleCentreAndBoundsTheSurface) {
    form->store.AddLine(-100, -100, 100, 100, 1);
    form->SpeedButton21Click();  // no lines but this one: 1280 x 1024
    Settle();
    const WorldPoint centre = VisibleCentre(*form);
    const double scale = form->view.scale;

    QTest::mouseClick(Button("SpeedButton20"), Qt::LeftButton);
    Settle();
    EXPECT_EQ(form->view.scale, scale / 2);
    EXPECT_EQ(form->PaintBox1->size(), QSize(2560, 2048));
    EXPECT_EQ(form->view.viewExtentW, 2560);
    WorldPoint now = VisibleCentre(*form);
    EXPECT_NEAR(now.x, centre.x, 1.5 * form->view.scale);
    EXPECT_NEAR(now.y, centre.y, 1.5 * form->view.scale);
    EXPECT_EQ(form->canvas.scrollX(), HBar()->value());
    // The diagonal line is drawn where the new transform puts it.
    EXPECT_EQ(ShownPixel(form->view.ScreenX(10), form->view.ScreenY(10)), 0xFFFFFFu);
    EXPECT_EQ(ShownPixel(form->view.ScreenX(10), form->view.ScreenY(-10)), 0x000000u);

    for (int i = 0; i < 5; ++i) QTest::mouseClick(Button("SpeedButton20"), Qt::LeftButton);
    Settle();
    EXPECT_EQ(form->PaintBox1->size(), QSize(20480, 16384));
    EXPECT_EQ(form->view.scale, scale / 64);
    now = VisibleCentre(*form);
    EXPECT_NEAR(now.x, centre.x, 64 * form->view.scale * 8);
    EXPECT_NEAR(now.y, centre.y, 64 * form->view.scale * 8);

    for (int i = 0; i < 8; ++i) QTest::mouseClick(Button("SpeedButton22"), Qt::LeftButton);
    Settle();
    EXPECT_EQ(form->PaintBox1->size(), QSize(1280, 1024));
    EXPECT_EQ(form->view.scale, scale * 4);
    // Resizing the window does not resize a zoomed surface.
    form->showNormal();
    form->resize(640, 520);
    Settle();
    EXPECT_EQ(form->PaintBox1->size(), QSize(1280, 1024));
}

TEST_F(TForm1Test, ChangingTabsResetsToThatTabsSelectToolExceptOnTheToolsTab) {
    QTest::mouseClick(Button("SpeedButton3"), Qt::LeftButton);
    EXPECT_EQ(form->paletteGroup->checkedButton(), Button("SpeedButton3"));
    form->store.currentCircle().fillStyle = 0;
    form->ComboBox1->setCurrentIndex(3);  // not a user choice: the slots keep white

    ClickTab(*form, 1);
    ASSERT_EQ(form->PageControl1->currentIndex(), 1);
    EXPECT_EQ(form->commandCode, 100);
    EXPECT_EQ(form->toolStep, 5);
    EXPECT_EQ(form->paletteGroup->checkedButton(), Button("SpeedButton2"));
    EXPECT_EQ(form->store.currentCircle().fillStyle, 1);
    EXPECT_EQ(form->store.currentLine().colour, 4);  // the colour box's colour applied
    EXPECT_EQ(form->snapOn, 1);

    form->commandCode = 118;  // as the angle measurement would
    form->toolStep = 3;
    form->ComboBox1->setCurrentIndex(0);
    ClickTab(*form, 3);
    ASSERT_EQ(form->PageControl1->currentIndex(), 3);
    EXPECT_EQ(form->commandCode, 118);
    EXPECT_EQ(form->toolStep, 3);
    EXPECT_EQ(form->store.currentLine().colour, 4);

    ClickTab(*form, 2);
    ASSERT_EQ(form->PageControl1->currentIndex(), 2);
    EXPECT_EQ(form->paletteGroup->checkedButton(), Button("SpeedButton24"));
    EXPECT_EQ(form->store.currentLine().colour, 1);

    // The select button brings back the pan step.
    QTest::mouseClick(Button("SpeedButton24"), Qt::LeftButton);
    EXPECT_EQ(form->commandCode, 100);
    EXPECT_EQ(form->toolStep, 5);
}

TEST_F(TForm1Test, TheButtonWithoutAHintAndTheScreenClearLeaveTheDrawingAlone) {
    form->store.AddLine(-30, 10, 30, 10, 1);
    const int ox = form->view.originX, oy = form->view.originY;
    QTest::mouseClick(Button("SpeedButton19"), Qt::LeftButton);
    EXPECT_EQ(ShownPixel(ox, oy - 10), 0xFFFFFFu);
    EXPECT_EQ(form->commandCode, 100);
    EXPECT_EQ(form->toolStep, 5);
    EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(prompts.shown().empty());

    form->FileClsClick();  // "画面消去(&C)": the screen goes black, the line stays stored
    EXPECT_EQ(ShownPixel(ox, oy - 10), 0x000000u);
    EXPECT_EQ(form->store.line(0).alive, 1);
    QTest::mouseClick(Button("SpeedButton31"), Qt::LeftButton);  // "再描画" brings it back
    EXPECT_EQ(ShownPixel(ox, oy - 10), 0xFFFFFFu);

    form->commandCode = 103;  // the typed-radius circle waits for one click
    form->toolStep = 1;
    form->RunBackClick();
    EXPECT_EQ(form->toolStep, 0);
}

TEST_F(TForm1Test, WhatIsDrawnOnTheCanvasIsPaintedOnScreenOnceTheLoopIsIdle) {
    // Counts the paints of the surface and ends the loop at the first one.
    struct PaintWatch : QObject {
        QEventLoop* loop = nullptr;
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) {
                ++paints;
                loop->quit();
            }
            return false;
        }
    } watch;
    QEventLoop loop;
    watch.loop = &loop;
    Settle();
    form->PaintBox1->installEventFilter(&watch);
    form->store.AddLine(-40, -40, 40, 40, 1);             // drawn on the canvas only
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);  // a way out, not a measure
    loop.exec();
    form->PaintBox1->removeEventFilter(&watch);
    EXPECT_GE(watch.paints, 1);
}
