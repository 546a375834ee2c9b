// The redraw's window search of the store gives the pixels of the plain full redraw.
#include <gtest/gtest.h>

#include <QImage>
#include <random>

#include "model/DrawingStore.h"
#include "render/Canvas.h"
#include "render/Renderer.h"
#include "render/View.h"
#include "tests/model/RandomChanges.h"

// The redraw draws only what meets the visible window; every pixel is that of drawing all.
TEST(StoreSearch, RedrawOfTheVisibleWindowHasThePixelsOfTheFullRedraw) {
    DrawingStore s;
    std::mt19937 rng(6);
    for (int i = 0; i < 1500; ++i) Change(s, rng, false);
    // Thick pens and filled circles reach beyond their boxes' pixels.
    s.currentLine().penWidth = 9;
    s.AddLine(-250, -250, 250, 240, 0);
    s.currentCircle().fillStyle = 0;
    s.currentCircle().fillColour = 4;
    s.currentCircle().penWidth = 6;
    s.AddCircle(30, 30, 45, 0, 0, 0);
    s.AddCircle(0, 0, 5000, 0, 0, 0);  // a rim far outside every window below
    Canvas canvas;
    View view;
    Renderer renderer{canvas, view};
    canvas.Resize(320, 240);
    renderer.surfaceW = 1280;
    renderer.surfaceH = 1024;
    struct Case {
        double scale;
        int originX, originY, scrollX, scrollY;
    };
    for (const Case& c : {Case{1.0, 160, 120, 0, 0}, Case{0.25, 640, 512, 480, 400},
                          Case{0.125, 900, 300, 700, 100}, Case{0.0625, 100, 900, 0, 784},
                          Case{4.0, 160, 120, 0, 0}, Case{0.03125, -5000, 8000, 0, 0}}) {
        view.scale = c.scale;
        view.originX = c.originX;
        view.originY = c.originY;
        canvas.SetScroll(c.scrollX, c.scrollY);
        s.useSpatialIndex = false;
        renderer.Redraw(s);
        const QImage all = canvas.image().copy();
        const uint32_t pen = canvas.penColour(), brush = canvas.brushColour();
        s.useSpatialIndex = true;
        renderer.Redraw(s);
        EXPECT_TRUE(canvas.image() == all) << "scale " << c.scale;
        EXPECT_EQ(canvas.penColour(), pen);
        EXPECT_EQ(canvas.brushColour(), brush);
    }
}
