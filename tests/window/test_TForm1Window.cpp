// The drawing window as users hit it: fast clicks, scrolling with a band on screen, panning,
// highlights over filled circles, deep zoom and wide screens.
#include <QButtonGroup>
#include <QLabel>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTemporaryDir>
#include <functional>
#include <set>

#include "edit/Picking.h"
#include "tests/window/test_TForm1Fixture.h"
#include "window/TForm1Tools.h"

namespace {

class TForm1WindowTest : public TForm1Test {
protected:
    // Sends one mouse event to the surface as the window system delivers it.
    void Send(QEvent::Type type, QPoint p, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(p), form->PaintBox1->mapToGlobal(QPointF(p)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
        QApplication::sendEvent(form->PaintBox1, &e);
    }
    // The surface position under viewport position v, with the scroll as it is now.
    QPoint Surface(QPoint v) const { return v + QPoint(HBar()->value(), VBar()->value()); }
    // Erases what is XOR-drawn on top of the drawing: the rubber band and the marker.
    QImage WithoutOverlays() {
        form->tools.machine.ToggleRubberBand(form->toolStep);
        ForgetSnapPoint(form->store, form->renderer);
        return form->canvas.image().copy();
    }
};

}  // namespace

TEST_F(TForm1WindowTest, AQuickSecondClickIsNeverLost) {
    // The fault: a second press within the double-click time arrived as a double-click
    // and never reached the command, so a fast user's line was not made.
    form->SnapDistance = 0;
    Button("SpeedButton3")->click();
    Click(At(0, 0));
    QTest::mouseDClick(form->PaintBox1, Qt::LeftButton, Qt::NoModifier, At(100, 50));
    Settle();
    ASSERT_EQ(AliveLines(), 1);
    EXPECT_EQ(form->store.line(0).x2, 100.0);
    EXPECT_EQ(form->toolStep, 0);

    // Two fast clicks on one pixel, as press, release, double-click, release.
    const QPoint p = At(30, 30);
    Send(QEvent::MouseButtonPress, p, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, p, Qt::NoButton);
    Send(QEvent::MouseButtonDblClick, p, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, p, Qt::NoButton);
    Settle();
    EXPECT_EQ(prompts.messageTexts().back(), "選択が同じです");
    EXPECT_EQ(form->toolStep, 9);
    EXPECT_EQ(AliveLines(), 1);

    // Where the double-click follows its own press, the press counts once: the line
    // ends there and no new one starts.
    const QPoint q = At(60, 30);
    Send(QEvent::MouseButtonPress, q, Qt::LeftButton);
    Send(QEvent::MouseButtonDblClick, q, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, q, Qt::NoButton);
    Settle();
    EXPECT_EQ(AliveLines(), 2);
    EXPECT_EQ(form->toolStep, 0);
}

TEST_F(TForm1WindowTest, ScrollingKeepsTheBandTheMarkerAndTheHighlightWithoutStalePixels) {
    form->store.AddLine(-400, 0, 400, 0, 1);
    form->store.AddLine(0, -300, 0, 300, 1);
    Button("SpeedButton21")->click();
    Button("SpeedButton20")->click();
    Settle();
    ASSERT_GT(HBar()->maximum(), 100);

    // A rubber band from the left end towards the crossing, caught on its snap point.
    Button("SpeedButton3")->click();
    HoverAndClick(-400, 0);
    Hover(QPoint(At(0, 0).x() + 2, At(0, 0).y() + 2));
    ASSERT_NE(form->store.snapIndex, -1);
    const int caught = form->store.snapIndex;

    HBar()->setValue(HBar()->value() + 40);
    VBar()->setValue(VBar()->value() - 24);
    Settle();
    // Still caught, with its marker and the band on screen.
    EXPECT_EQ(form->store.snapIndex, caught);
    const QImage shown = form->canvas.image().copy();
    // The next tick moves the band; erasing band and marker then leaves exactly the
    // drawing, as a fresh redraw paints it.
    Hover(At(-100, 150));
    const QImage afterTick = WithoutOverlays();
    form->Redraw();
    EXPECT_EQ(WithoutOverlays(), afterTick);
    // And what was shown after the scroll was the drawing plus band and marker.
    EXPECT_NE(shown, afterTick);

    // A picked line still looks picked after a scroll.
    Button("SpeedButton28")->click();  // delete: waits for a pick
    Settle();
    Hover(At(-200, 0) + QPoint(0, 1));  // a distance of 0 never picks
    ASSERT_EQ(form->store.pickedLine, 0);
    HBar()->setValue(HBar()->value() - 16);
    Settle();
    EXPECT_EQ(form->canvas.Pixel(At(-250, 0).x(), At(-250, 0).y()), 0xFFFF00u);
}

TEST_F(TForm1WindowTest, PanningFollowsTheMouseInStepsOfEight) {
    // The fault: the anchor was reset to a mouse position from before the scroll, so a
    // 200-pixel drag moved the view by about half as much.
    form->store.AddLine(-400, -300, 400, 300, 1);
    Button("SpeedButton21")->click();
    Button("SpeedButton20")->click();
    Button("SpeedButton20")->click();
    Settle();
    HBar()->setValue(HBar()->maximum() / 2);
    VBar()->setValue(VBar()->maximum() / 2);
    Settle();
    Button("SpeedButton1")->click();  // select and pan
    ASSERT_EQ(form->toolStep, 5);
    const int x0 = HBar()->value(), y0 = VBar()->value();

    // The mouse, in viewport pixels: pressed at (400, 300), dragged left and up in
    // uneven steps with a tick after each, as a user drags.
    QPoint mouse(400, 300);
    Send(QEvent::MouseButtonPress, Surface(mouse), Qt::LeftButton);
    int draggedX = 0, draggedY = 0;
    for (QPoint step : {QPoint(-150, -3), QPoint(-50, -30), QPoint(-13, -7), QPoint(-5, 0)}) {
        mouse += step;
        draggedX -= step.x();
        draggedY -= step.y();
        Send(QEvent::MouseMove, Surface(mouse), Qt::LeftButton);
        form->Timer1Timer();
        Settle();
        EXPECT_EQ(HBar()->value() - x0, draggedX / 8 * 8) << "after " << draggedX;
        EXPECT_EQ(VBar()->value() - y0, draggedY / 8 * 8) << "after " << draggedY;
    }
    // And back to the right by 100: the view follows the other way, the grabbed point
    // staying within a step of the mouse.
    mouse += QPoint(100, 0);
    draggedX -= 100;
    Send(QEvent::MouseMove, Surface(mouse), Qt::LeftButton);
    form->Timer1Timer();
    Settle();
    EXPECT_LT(std::abs(HBar()->value() - x0 - draggedX), 8);
    Send(QEvent::MouseButtonRelease, Surface(mouse), Qt::NoButton);
}

// The fault: opening a file or starting a new drawing pressed the select button but left
// the tool in a step where a drag moved nothing until 選択 was pressed again.
TEST_F(TForm1WindowTest, AfterOpeningAFileOrNewADragPans) {
    QTemporaryDir dir;
    const QString dxf = dir.filePath("line.dxf");
    QFile file(dxf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n-400\n20\n-300\n11\n400\n21\n300\n"
               "0\nENDSEC\n0\nEOF\n");
    file.close();
    form->store.AddLine(-400, -300, 400, 300, 1);
    Button("SpeedButton21")->click();
    Button("SpeedButton20")->click();
    Button("SpeedButton20")->click();
    Settle();
    const std::function<void()> actions[] = {
        [&] { prompts.AnswerMessages({PromptAnswer::Ok}); Button("SpeedButton17")->click(); },
        [&] { prompts.AnswerTexts({dxf.toStdString()}); form->DXFI1Click(); },
    };
    for (const auto& action : actions) {
        HBar()->setValue(HBar()->maximum() / 2);
        Settle();
        Button("SpeedButton3")->click();  // a drawing tool, as the user left it
        action();
        Settle();
        EXPECT_EQ(form->paletteGroup->checkedButton(), Button("SpeedButton1"));
        const int x0 = HBar()->value(), lines = AliveLines();
        Send(QEvent::MouseButtonPress, Surface({400, 300}), Qt::LeftButton);
        Send(QEvent::MouseMove, Surface({200, 300}), Qt::LeftButton);
        form->Timer1Timer();
        Send(QEvent::MouseButtonRelease, Surface({200, 300}), Qt::NoButton);
        Settle();
        EXPECT_EQ(HBar()->value() - x0, 200);
        EXPECT_EQ(AliveLines(), lines);  // and the press drew nothing
    }
}

// The fault: the move handler compared the tracked point with the previous event's
// position, so after a single jump the timer stayed off, the highlight and the status stayed
// at the old spot, and a click then deleted the highlighted line, not the one clicked.
TEST_F(TForm1WindowTest, APickFollowsASingleJumpAndAClickActsOnWhatIsUnderThePointer) {
    form->store.AddLine(-200, -100, -200, 100, 1);  // 0, the one first under the pointer
    form->store.AddLine(200, -100, 200, 100, 1);    // 1
    Button("SpeedButton28")->click();               // delete
    Hover(At(-201, 0));  // a distance of 0 never picks
    ASSERT_EQ(form->store.pickedLine, 0);
    Send(QEvent::MouseMove, At(201, 0), Qt::NoButton);  // one event, no tick yet
    EXPECT_TRUE(form->Timer1->isActive());
    Send(QEvent::MouseButtonPress, At(201, 0), Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, At(201, 0), Qt::NoButton);
    Settle();
    EXPECT_EQ(form->store.line(0).alive, 1);
    EXPECT_EQ(form->store.line(1).alive, 0);

    // With the snap, a line's end is taken from the snap point under the click.
    form->store.AddLine(0, 0, 50, 0, 1);  // 2; the new line takes the freed slot 1
    Button("SpeedButton3")->click();
    Hover(At(-200, 100));
    Click(At(-200, 100));
    Send(QEvent::MouseMove, At(0, 3), Qt::NoButton);
    Send(QEvent::MouseButtonPress, At(0, 3), Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, At(0, 3), Qt::NoButton);
    Settle();
    ASSERT_EQ(AliveLines(), 3);
    const LineElement& drawn = form->store.line(1);
    using Ends = std::set<std::pair<double, double>>;
    EXPECT_EQ((Ends{{drawn.x1, drawn.y1}, {drawn.x2, drawn.y2}}), (Ends{{-200, 100}, {0, 0}}));
}

TEST_F(TForm1WindowTest, UnhighlightingAFilledCircleLeavesItAsItWasDrawn) {
    // The faults: the un-highlight drew the circle again with its fill, over the smaller
    // circle drawn on top of it; then it wiped the highlight in black, leaving a dark ring
    // inside the rim of the fill.
    form->store.currentCircle().fillStyle = 0;
    form->store.currentCircle().fillColour = 4;
    form->store.AddCircle(0, 0, 100, 0, 0, 1);
    form->store.currentCircle().fillStyle = 1;
    form->store.AddCircle(0, 0, 30, 0, 0, 1);
    form->store.AddLine(300, 200, 350, 200, 1);
    // And one cut by the viewport's top left corner.
    const double cornerX = form->view.WorldX(form->canvas.scrollX());
    const double cornerY = form->view.WorldY(form->canvas.scrollY());
    form->store.currentCircle().fillStyle = 0;
    form->store.AddCircle(cornerX, cornerY, 60, 0, 0, 1);
    Settle();
    form->Redraw();
    const QImage drawing = form->canvas.image().copy();
    const QPoint centre = At(0, 0);
    ASSERT_EQ(form->canvas.Pixel(centre.x() + 60, centre.y()), 0x00FF00u);  // the fill
    ASSERT_EQ(form->canvas.Pixel(At(30, 0).x() - 1, centre.y()), 0xFFFFFFu);  // on top

    form->SnapDistance = 100;  // picks within 100 units at scale 1
    Button("SpeedButton28")->click();
    Settle();
    for (auto [circle, rim] : {std::pair(0, At(100, 1)), std::pair(2, At(cornerX + 1, cornerY - 60))}) {
        Hover(rim);
        ASSERT_EQ(form->store.pickedCircle, circle);
        EXPECT_NE(form->canvas.image(), drawing);
        Hover(At(-300, -250));  // nothing there: the highlight goes
        ASSERT_EQ(form->store.pickedCircle, -1);
        // The small circle on top is whole, and the fill and the rim are as they were drawn.
        const QImage now = form->canvas.image();
        int differ = 0;
        for (int y = 0; y < now.height(); ++y)
            for (int x = 0; x < now.width(); ++x) differ += now.pixel(x, y) != drawing.pixel(x, y);
        EXPECT_EQ(differ, 0) << "circle " << circle;
    }
}

// The fault: the arc tool's click with an empty radius box erased the band, said the
// conversion error and kept the band's point, so the next tick drew the band back there.
TEST_F(TForm1WindowTest, AnErrorLeavesNoStaleRubberBand) {
    form->store.AddLine(-300, -200, -250, -200, 1);
    Settle();
    form->Redraw();
    const QImage drawing = form->canvas.image().copy();
    Button("SpeedButton12")->click();  // arc by radius and angles
    form->Edit3->setText("");          // the band takes radius 10
    Hover(At(0, 0));
    EXPECT_NE(form->canvas.image(), drawing);
    prompts.clear();
    Click(At(0, 0));
    EXPECT_EQ(prompts.messageTexts(), std::vector<std::string>{"'' は有効な数値ではありません"});
    EXPECT_EQ(AliveCircles(), 0);
    Hover(At(200, 100));
    EXPECT_EQ(WithoutOverlays(), drawing);
}

TEST_F(TForm1WindowTest, ZoomingInStopsAtTheLimitAndSaysSo) {
    // The fault: with no lower limit on the scale, the view's integer clamps moved the
    // drawing after some fourteen zoom-ins near (5000, 5000), and clicks added elements
    // near 4096.
    form->store.AddLine(4990, 4990, 5010, 5010, 1);
    Button("SpeedButton21")->click();
    Settle();
    auto centre = [this] {
        const SurfaceGeometry g = form->ReadSurface();
        return std::pair(form->view.WorldX(g.scrollX + g.panelW / 2),
                         form->view.WorldY(g.scrollY + g.panelH / 2));
    };
    const auto [cx, cy] = centre();
    const double fitScale = form->view.scale;
    int zooms = 0;
    for (; zooms < 40; ++zooms) {
        const double before = form->view.scale;
        Button("SpeedButton20")->click();
        if (form->view.scale == before) break;
        // The world point under the visible centre stays there, to the rounding of the
        // designed zoom (a pixel or two at the scale of fit all).
        const auto [x, y] = centre();
        EXPECT_NEAR(x, cx, 2 * fitScale);
        EXPECT_NEAR(y, cy, 2 * fitScale);
    }
    Settle();
    EXPECT_GT(zooms, 8);
    EXPECT_LT(zooms, 40);
    EXPECT_EQ(form->StatusPanelText(0), QStringLiteral("これ以上拡大できません"));
    // A line drawn there lands where it was clicked, with its ends in the right order.
    const SurfaceGeometry g = form->ReadSurface();
    const auto [nx, ny] = centre();
    form->SnapDistance = 0;
    Button("SpeedButton3")->click();
    Click(QPoint(g.scrollX + 100, g.scrollY + 100));
    Click(QPoint(g.scrollX + 300, g.scrollY + 200));
    ASSERT_EQ(AliveLines(), 2);
    const LineElement& l = form->store.line(1);
    EXPECT_NEAR(l.x1, nx - (g.panelW / 2 - 100) * form->view.scale, 2 * form->view.scale);
    EXPECT_NEAR(l.x2, nx - (g.panelW / 2 - 300) * form->view.scale, 2 * form->view.scale);
    EXPECT_NEAR(l.y1, ny + (g.panelH / 2 - 100) * form->view.scale, 2 * form->view.scale);
    EXPECT_EQ(form->view.ScreenX(l.x1), g.scrollX + 100);
}

TEST_F(TForm1WindowTest, OnAWideScreenFitAllShowsTheWholeDrawingAndResizeKeepsIt) {
    form->showNormal();
    form->resize(2300, 1250);
    Settle();
    const QSize panel = form->DrawingPanelSize();
    ASSERT_GT(panel.width(), 1280);
    form->store.AddLine(-3000, 0, 3000, 100, 1);
    Button("SpeedButton21")->click();
    Settle();
    const QSize viewport = form->ScrollBox1->viewport()->size();
    EXPECT_GE(form->PaintBox1->width(), viewport.width());
    EXPECT_GE(form->PaintBox1->height(), viewport.height());
    for (double x : {-3000.0, 3000.0}) {
        const int shown = form->view.ScreenX(x) - HBar()->value();
        EXPECT_GE(shown, 0);
        EXPECT_LT(shown, viewport.width());
    }
    // Both ends are drawn, on the visible part of the surface.
    EXPECT_EQ(form->canvas.Pixel(form->view.ScreenX(-2990), form->view.ScreenY(0.17)), 0xFFFFFFu);

    // Restore to a small window and maximise again: the centre stays, the scale too.
    const SurfaceGeometry g0 = form->ReadSurface();
    const double cx = form->view.WorldX(g0.scrollX + g0.panelW / 2);
    const double scale = form->view.scale;
    for (QSize size : {QSize(700, 560), QSize(2300, 1250), QSize(1100, 900)}) {
        form->resize(size);
        Settle();
        const SurfaceGeometry g = form->ReadSurface();
        EXPECT_EQ(form->view.scale, scale);
        EXPECT_NEAR(form->view.WorldX(g.scrollX + g.panelW / 2), cx, 2 * scale);
        EXPECT_GE(g.surfaceW, g.panelW);
    }
    // Zoom out on the wide panel leaves no dead band either.
    form->resize(2300, 1250);
    Settle();
    Button("SpeedButton22")->click();
    Settle();
    EXPECT_GE(form->PaintBox1->width(), form->ScrollBox1->viewport()->width());
}

// Used to cut the fit-all summary before its scale, and the pick text before its second
// point: both panels were fixed at 300 pixels while most of the bar stayed empty.
TEST_F(TForm1WindowTest, StatusTextsCanBeReadWhole) {
    form->showNormal();
    form->resize(1920, 1040);
    Settle();
    const auto fits = [&](int i) {
        QLabel* panel = form->statusPanels[i];
        return panel->fontMetrics().horizontalAdvance(panel->text()) <=
               panel->contentsRect().width();
    };
    // The drawing of the report, then one some hundred thousand units across.
    for (double x : {-220.0, -99000.5}) {
        form->store.AddLine(x, 26, -160, 146, 1);
        Button("SpeedButton21")->click();
        Settle();
        EXPECT_TRUE(form->StatusPanelText(0).endsWith(QString::asprintf("SC=%lf", form->view.scale)));
        EXPECT_TRUE(fits(0)) << form->StatusPanelText(0).toStdString();
        form->Timer1Timer();  // the cursor's coordinates and the scale
        EXPECT_TRUE(form->StatusPanelText(0).contains("Scale["));
        EXPECT_TRUE(fits(0)) << form->StatusPanelText(0).toStdString();
    }
    // A pick shows the element with both end points; panel 1 takes the rest of the bar.
    Button("SpeedButton28")->click();
    Hover(At(-100000.0 / 2, 86));
    EXPECT_TRUE(form->StatusPanelText(1).startsWith(QStringLiteral("選択直線=")));
    EXPECT_TRUE(fits(1)) << form->StatusPanelText(1).toStdString();
    EXPECT_GE(form->statusPanels[1]->width(), 300);
    EXPECT_GT(form->statusPanels[0]->width() + form->statusPanels[1]->width(),
              form->StatusBar1->width() - 40);
}
