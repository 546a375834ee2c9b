// Texts on the screen: the height asked for is the height of the character cell.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include "render/Canvas.h"
#include "render/JapaneseFonts.h"
#include "render/Renderer.h"
#include "render/View.h"

TEST(RendererText, TheCellOfADrawnTextIsTheHeightAskedFor) {
    // The fault: the height became the font's em, and the Japanese face's cell came out
    // some 45% taller than asked, its width then out of proportion.
    InstallJapaneseFontSubstitutes();
    Canvas canvas;
    canvas.Resize(600, 400);
    View view;
    view.originX = 20;
    view.originY = 300;
    Renderer renderer(canvas, view);
    renderer.surfaceW = 600;
    renderer.surfaceH = 400;
    renderer.ClearScreen();
    renderer.SetTextColour(7);
    for (double height : {12.0, 40.0, 100.0, 250.0}) {
        SCOPED_TRACE(height);
        renderer.DrawText(0, 0, "\x93\x63", height, 0);  // a full-width kanji
        const int cell = QFontMetrics(canvas.font()).height();
        EXPECT_NEAR(cell, height, 1.0);
        EXPECT_NEAR(canvas.TextHeight(), height, 1.0);
    }
    // The ink of the last one (250 pixels) lies within its cell above the base point, and
    // fills most of it.
    int top = 400, bottom = -1;
    const QImage& im = canvas.image();
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x)
            if ((im.pixel(x, y) & 0xFFFFFF) != 0 && y < 300) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    EXPECT_GE(top, 300 - 251);
    EXPECT_GT(bottom - top, 250 * 0.6);
}
