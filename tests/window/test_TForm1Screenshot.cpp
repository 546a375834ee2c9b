// A drawing of lines, arcs, filled circles and texts rendered through the real window, checked
// at chosen pixels and saved as a screenshot for a person to look at.
#include <QDir>
#include <QPainter>
#include <QTabWidget>

#include "test_TForm1Fixture.h"

TEST_F(TForm1Test, DrawingOfLinesArcsFilledCirclesAndTextsRendersInItsColours) {
    DrawingStore& s = form->store;
    auto colour = [&](int c) { s.SetCurrentColour(c); };

    // A room with a door arc, a window, furniture and labels.
    colour(7);
    s.AddLine(-250, -150, 250, -150, 1);
    s.AddLine(250, -150, 250, 150, 1);
    s.AddLine(250, 150, -250, 150, 1);
    s.AddLine(-250, 150, -250, -150, 1);
    colour(2);
    s.AddLine(-250, -150, 250, 150, 1);  // a red diagonal
    colour(4);
    s.AddLine(-100, 150, 100, 150, 1);  // green window on the top wall
    colour(5);
    s.AddCircle(-250, -150, 80, 0, 90, 1);  // the door's swing
    colour(6);
    s.AddCircle(120, 40, 60, 30, 240, 1);  // a yellow arc
    s.currentCircle().fillStyle = 0;
    colour(3);
    s.AddCircle(-120, 60, 30, 0, 0, 1);  // filled magenta
    colour(1);
    s.AddCircle(150, -80, 25, 0, 0, 1);  // filled blue
    s.currentCircle().fillStyle = 1;
    colour(7);
    s.AddCircle(0, 0, 40, 0, 0, 1);  // white outline

    ASSERT_TRUE(s.AppendText(-230, -130, "居間 LIVING", 18, 0));
    ASSERT_TRUE(s.AppendText(230, -120, "縦書き 90°", 14, 90));
    ASSERT_TRUE(s.AppendText(-60, 90, "寸法 3,640", 12, 20));
    s.text(1).colour = 6;
    s.text(2).colour = 4;
    form->RunBackClick();  // texts appear with the full redraw
    Settle();

    const View& v = form->view;
    auto at = [&](double x, double y) { return ShownPixel(v.ScreenX(x), v.ScreenY(y)); };
    EXPECT_EQ(at(0, -150), 0xFFFFFFu);     // bottom wall
    EXPECT_EQ(at(250, 0), 0xFFFFFFu);      // right wall
    EXPECT_EQ(at(50, 30), 0xFF0000u);      // on the diagonal, away from the circle
    EXPECT_EQ(at(0, 150), 0x00FF00u);      // the window drawn over the wall
    EXPECT_EQ(at(-120, 60), 0xFF00FFu);    // centre of the filled magenta circle
    EXPECT_EQ(at(150, -80), 0x0000FFu);    // centre of the filled blue circle
    EXPECT_EQ(at(0, 40), 0xFFFFFFu);       // top of the white outline
    EXPECT_EQ(at(-170, -150), 0xFFFFFFu);  // the door arc ends on the wall...
    EXPECT_EQ(at(-250, -70), 0xFFFFFFu);
    bool cyan = false;  // the door arc at 45 degrees, give or take a pixel of rasterising
    const int ax = v.ScreenX(-250 + 80 * 0.70710678), ay = v.ScreenY(-150 + 80 * 0.70710678);
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy) cyan = cyan || ShownPixel(ax + dx, ay + dy) == 0x00FFFFu;
    EXPECT_TRUE(cyan);
    EXPECT_EQ(at(120 + 60, 40), 0x000000u);  // the yellow arc leaves out 240..30 degrees
    EXPECT_EQ(at(120, 100), 0xFFFF00u);      // ...and passes 90 degrees

    // The label's glyphs are light grey pixels just above its insertion point.
    int grey = 0;
    for (int x = v.ScreenX(-230); x < v.ScreenX(-230) + 60; ++x)
        for (int y = v.ScreenY(-130) - 18; y <= v.ScreenY(-130); ++y)
            if (ShownPixel(x, y) == 0xAAAAAAu) ++grey;
    EXPECT_GT(grey, 20);

    const QString path = QDir(QStringLiteral(KORVO_SHOT_DIR)).filePath("korvo-drawing.png");
    ASSERT_TRUE(form->grab().save(path)) << path.toStdString();
    std::printf("screenshot: %s\n", path.toUtf8().constData());
}

TEST_F(TForm1Test, EveryPaletteTabShowsItsButtonsSideBySideInASheet) {
    // For a person to look at: the right band with each of the four tabs active.
    const QSize band = form->Panel2->size();
    QImage sheet(band.width() * 4, band.height(), QImage::Format_RGB32);
    QPainter painter(&sheet);
    for (int tab = 0; tab < 4; ++tab) {
        form->PageControl1->setCurrentIndex(tab);
        Settle();
        painter.drawPixmap(band.width() * tab, 0, form->Panel2->grab());
    }
    painter.end();
    EXPECT_EQ(form->PageControl1->currentIndex(), 3);
    const QString path = QDir(QStringLiteral(KORVO_SHOT_DIR)).filePath("korvo-palette.png");
    ASSERT_TRUE(sheet.save(path)) << path.toStdString();
}
