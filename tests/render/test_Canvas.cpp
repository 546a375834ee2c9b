// Canvas and renderer pixels: XOR restores, pixel rules of lines, arcs and markers.
#include <gtest/gtest.h>

#include "render/Canvas.h"
#include "render/ColourTable.h"
#include "render/Renderer.h"
#include "render/View.h"

namespace {

struct Screen {
    Canvas canvas;
    View view;
    Renderer renderer{canvas, view};
    Screen() {
        canvas.Resize(200, 150);
        view.originX = 100;
        view.originY = 75;
        renderer.surfaceW = 200;
        renderer.surfaceH = 150;
    }
    int Lit() const {
        int n = 0;
        const QImage& im = canvas.image();
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x)
                if ((im.pixel(x, y) & 0xFFFFFF) != 0) ++n;
        return n;
    }
};

}  // namespace

TEST(Canvas, XorDrawnTwiceRestoresEveryPixel) {
    Screen s;
    // A busy background, so that XOR against anything but black is exercised too.
    s.renderer.SetPenWidth(1);
    for (int i = -90; i < 90; i += 7) {
        s.renderer.SetPenColour(i & 15);
        s.renderer.DrawLine(i, -70, -i, 70);
    }
    s.renderer.SetBrush(4, 0);
    s.renderer.DrawCircle(20, 10, 30, 5, 0, 0);
    const QImage before = s.canvas.image().copy();

    s.canvas.SetPenMode(Canvas::PenMode::Xor);
    s.renderer.SetBrush(0, 1);
    for (int pass = 0; pass < 2; ++pass) {
        s.renderer.SetPenWidth(1);
        s.renderer.SetPenColour(7);
        s.renderer.DrawLine(-50, -20, 63, 41);
        s.renderer.DrawLine(0, 0, 0, 60);
        s.renderer.DrawRectOutline(-30, -30, 40, 25, 6);
        s.renderer.DrawMarker(10, 10, 6, 2);
        s.renderer.DrawCircle(0, 0, 40, 3, 0, 0);
        s.renderer.DrawCircle(5, -5, 25, 1, 270, 90);
        s.renderer.SetPenWidth(3);
        s.renderer.DrawLine(-80, 50, 80, -50);
    }
    EXPECT_EQ(s.canvas.image(), before);
}

TEST(Canvas, LineLeavesOutItsLastPixelButDrawLineSetsIt) {
    Screen s;
    s.canvas.SetPenColour(0xFFFFFF);
    s.canvas.MoveTo(10, 10);
    s.canvas.LineTo(20, 10);
    EXPECT_EQ(s.canvas.Pixel(10, 10), 0xFFFFFFu);
    EXPECT_EQ(s.canvas.Pixel(19, 10), 0xFFFFFFu);
    EXPECT_EQ(s.canvas.Pixel(20, 10), 0u);
    EXPECT_EQ(s.Lit(), 10);

    Screen t;
    t.renderer.SetPenColour(2);
    t.renderer.DrawLine(0, 0, 10, 0);  // pixels 100..110 on row 75
    EXPECT_EQ(t.canvas.Pixel(110, 75), 0xFF0000u);
    EXPECT_EQ(t.canvas.Pixel(100, 75), 0xFF0000u);
    EXPECT_EQ(t.Lit(), 11);
}

TEST(Canvas, LineShorterThanAPixelDrawsNothing) {
    Screen s;
    s.view.scale = 10.0;
    s.renderer.SetPenColour(7);
    s.renderer.DrawLine(0.5, 0.5, 9.0, 9.0);  // both ends on the origin's pixel
    EXPECT_EQ(s.Lit(), 0);
    s.renderer.DrawLine(0, 0, 10.0, 0);
    EXPECT_EQ(s.Lit(), 2);
}

TEST(Canvas, ArcFrom270To90PassesTheRightSide) {
    Screen s;
    s.renderer.SetPenColour(7);
    s.renderer.DrawCircle(0, 0, 50, 7, 270, 90);
    int right = 0, left = 0;
    const QImage& im = s.canvas.image();
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x)
            if (im.pixel(x, y) & 0xFFFFFF) (x > 100 ? right : left)++;
    EXPECT_GT(right, 100);
    EXPECT_LT(left, 8);  // only the pixels at the two ends, on the vertical axis
    uint32_t rightmost = 0;
    for (int x = 146; x <= 150; ++x)
        for (int y = 73; y <= 77; ++y) rightmost |= s.canvas.Pixel(x, y);
    EXPECT_NE(rightmost, 0u);
}

TEST(Canvas, ArcWhoseEndsShareAPixelIsNotDrawnButAFullCircleIs) {
    Screen s;
    s.renderer.SetPenColour(7);
    s.renderer.DrawCircle(0, 0, 50, 7, 10, 10.0001);
    EXPECT_EQ(s.Lit(), 0);
    s.renderer.DrawCircle(0, 0, 2, 7, 0, 0);
    EXPECT_GT(s.Lit(), 0);
}

TEST(Canvas, ClearScreenPaintsBlackAndTheUserOriginMarkerRed) {
    Screen s;
    s.renderer.SetPenColour(7);
    s.renderer.DrawLine(-50, -50, 50, 50);
    s.renderer.ucsOn = true;
    s.renderer.ucsX = 0;
    s.renderer.ucsY = 0;
    s.renderer.ClearScreen();
    EXPECT_EQ(s.canvas.Pixel(110, 75), 0xFF0000u);  // 20 pixels to the right
    EXPECT_EQ(s.canvas.Pixel(100, 65), 0xFF0000u);  // and 20 up
    EXPECT_EQ(s.canvas.Pixel(60, 35), 0u);
    EXPECT_EQ(s.canvas.penColour(), 0xFFFFFFu);
    EXPECT_EQ(s.canvas.brushStyle(), Canvas::BrushStyle::None);
}

TEST(Canvas, ScrolledCanvasDrawsAtTheOffset) {
    Screen s;
    s.canvas.SetScroll(50, 20);
    s.renderer.SetPenColour(7);
    s.renderer.DrawLine(0, 0, 0, -10);  // surface pixels (100,75)-(100,85)
    EXPECT_EQ(s.canvas.image().pixel(50, 55) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(s.canvas.Pixel(100, 85), 0xFFFFFFu);
}

TEST(ColourTable, IndicesWrapAndNegativeRemaindersSelectNothing) {
    EXPECT_EQ(*ColourOf(1), 0x0000FFu);
    EXPECT_EQ(*ColourOf(15), 0xAAAAAAu);
    EXPECT_EQ(*ColourOf(18), 0xFF0000u);
    EXPECT_EQ(*ColourOf(-16), 0x000000u);
    EXPECT_FALSE(ColourOf(-3).has_value());
    Screen s;
    s.renderer.SetPenColour(2);
    s.renderer.SetPenColour(-5);
    EXPECT_EQ(s.canvas.penColour(), 0xFF0000u);
}
