// Circles and arcs far larger than the viewport, and lines reaching far beyond the surface.
#include <gtest/gtest.h>

#include <cmath>

#include "model/DrawingStore.h"
#include "render/Canvas.h"
#include "render/ColourTable.h"
#include "render/Renderer.h"
#include "render/View.h"

namespace {

constexpr int kW = 300, kH = 200;

struct Screen {
    Canvas canvas;
    View view;
    Renderer renderer{canvas, view};
    Screen() {
        canvas.Resize(kW, kH);
        renderer.surfaceW = kW;
        renderer.surfaceH = kH;
        renderer.ClearScreen();
    }
    uint32_t At(int x, int y) const { return canvas.image().pixel(x, y) & 0xFFFFFF; }
};

constexpr uint32_t kCyan = 0x00FFFF, kGreen = 0x00FF00;

// The rim of a circle of radius r pixels (centre (cx, cy) in surface pixels, possibly far
// outside the view): every lit pixel lies on it, and every column where it crosses the
// view has a lit pixel where the geometry puts it.
void ExpectRim(const Screen& s, double cx, double cy, double r, uint32_t colour, const char* what) {
    int lit = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (s.At(x, y) == colour) {
                ++lit;
                const double d = std::hypot(x - cx, y - cy);
                ASSERT_NEAR(d, r, 1.5) << what << " pixel (" << x << ", " << y << ")";
            }
    int columns = 0;
    for (int x = 0; x < kW; ++x) {
        const double dx = x - cx;
        if (std::fabs(dx) > r) continue;
        // The upper crossing of this column, where the rim runs more across than down.
        const double y = cy - std::sqrt((r - dx) * (r + dx));
        if (y < 2 || y > kH - 3 || std::fabs(dx) > 0.7 * r) continue;
        ++columns;
        const int iy = int(std::lround(y));
        bool found = false;
        for (int k = -1; k <= 1; ++k) found = found || s.At(x, iy + k) == colour;
        EXPECT_TRUE(found) << what << " column " << x << " expected near y " << y;
    }
    EXPECT_GT(columns, kW / 2) << what;
    EXPECT_GT(lit, kW / 2) << what;
}

}  // namespace

TEST(BigCurves, CirclesOfAnyScreenSizeAreDrawnWhereTheGeometryPutsThem) {
    for (double r : {1e3, 1e5, 1e7, 1e9}) {
        SCOPED_TRACE(r);
        // Scale 1; the circle's top passes through the middle of the view, slightly to the
        // right of its centre line, so the rim crosses the whole width.
        Screen s;
        s.view.scale = 1.0;
        s.view.originX = 0;
        s.view.originY = 0;
        const double cx = 140.0, cy = -(100.0 + r);  // world; surface centre (140, 100 + r)
        s.renderer.SetPenWidth(1);
        s.renderer.SetBrush(0, 1);
        s.renderer.DrawCircle(cx, cy, r, 5, 0, 0);
        ExpectRim(s, s.view.SurfaceX(cx), s.view.SurfaceY(cy), r, kCyan, "outline");

        // Filled: the inside is filled, the outside untouched, however large the circle.
        Screen f;
        f.view = s.view;
        f.renderer.SetBrush(4, 0);
        f.renderer.DrawCircle(cx, cy, r, 5, 0, 0);
        const double scx = f.view.SurfaceX(cx), scy = f.view.SurfaceY(cy);
        for (int y = 0; y < kH; y += 3)
            for (int x = 0; x < kW; x += 3) {
                const double d = std::hypot(x - scx, y - scy);
                if (d < r - 2) {
                    ASSERT_EQ(f.At(x, y), kGreen) << x << ", " << y;
                } else if (d > r + 2) {
                    ASSERT_EQ(f.At(x, y), 0u) << x << ", " << y;
                }
            }
    }
}

TEST(BigCurves, ArcsKeepTheirRunAndHugeOnesDrawNothingOutsideIt) {
    // A quarter arc (0 to 90 degrees) of radius 1e6 pixels whose right end, at angle 0,
    // lies in the view: only the part above that point is drawn, nothing below it.
    Screen s;
    s.view.scale = 1.0;
    const double r = 1e6;
    const double cx = 150.0 - r, cy = -100.0;  // surface centre (150 - r, 100)
    s.renderer.SetPenWidth(1);
    s.renderer.SetBrush(4, 0);  // an arc is never filled
    s.renderer.DrawCircle(cx, cy, r, 6, 0, 90);
    int above = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            if (s.At(x, y) == 0) continue;
            EXPECT_EQ(s.At(x, y), 0xFFFF00u);
            EXPECT_LE(y, 101) << "below the arc's start at " << x << ", " << y;
            EXPECT_NEAR(x, 150, 2);
            ++above;
        }
    EXPECT_GE(above, 95);

    // The other three quarters of the same circle show the part below the point only.
    Screen t;
    t.view = s.view;
    t.renderer.DrawCircle(cx, cy, r, 6, 90, 0);
    int below = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (t.At(x, y) != 0) {
                EXPECT_GE(y, 99);
                ++below;
            }
    EXPECT_GE(below, 95);
}

TEST(BigCurves, XorDrawnTwiceRestoresAHugeCircle) {
    Screen s;
    s.view.scale = 1.0;
    s.renderer.SetPenColour(3);
    for (int i = 0; i < kW; i += 9) s.renderer.DrawLine(i, 0, kW - i, -kH);
    const QImage before = s.canvas.image().copy();
    s.renderer.SetPenMode(Canvas::PenMode::Xor);
    s.renderer.SetBrush(0, 1);
    for (int pass = 0; pass < 2; ++pass) {
        s.renderer.DrawCircle(150 - 3e5, -100, 3e5 + 20, 7, 0, 0);
        s.renderer.DrawCircle(150, -100 - 4e7, 4e7 + 30, 2, 30, 120);
    }
    EXPECT_EQ(s.canvas.image(), before);
}

TEST(BigCurves, ALineToAFarPointKeepsItsSlope) {
    // One end in the view, the other a hundred million pixels away at a slope of 1/3: the
    // pixels in view follow the slope instead of bending toward the edge of the range.
    Screen s;
    s.view.scale = 1.0 / 1024;
    s.view.originX = 10;
    s.view.originY = 10;
    const double far = 3e9 * s.view.scale;
    s.renderer.SetPenColour(7);
    s.renderer.DrawLine(0, 0, far, -far / 3);
    int lit = 0;
    for (int x = 10; x < kW; ++x) {
        const int y = 10 + int(std::lround((x - 10) / 3.0));
        bool found = false;
        for (int k = -1; k <= 1; ++k) found = found || s.At(x, y + k) != 0;
        EXPECT_TRUE(found) << "column " << x;
        lit += found;
    }
    EXPECT_GT(lit, 250);
}

TEST(BigCurves, ACircleAcrossALineStaysAfterFitAllAndFourZoomIns) {
    // A circle of radius 100 with a line across its rim; the rim at (100, 0) is the
    // visible centre after fit all, and must still be drawn after zooming in on it.
    DrawingStore store;
    store.AddCircle(0, 0, 100, 0, 0, 0);
    store.AddLine(90, 0, 110, 0, 0);
    View view;
    SurfaceGeometry g{600, 400, 0, 0, 600, 400};
    view.viewExtentW = 600;
    view.viewExtentH = 400;
    FitAllView(view, g, store);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(ZoomInView(view, g));
    ASSERT_GT(100 / view.scale, 20000);  // past where the painter loses the rim
    Canvas canvas;
    canvas.Resize(g.panelW, g.panelH);
    canvas.SetScroll(g.scrollX, g.scrollY);
    Renderer renderer(canvas, view);
    renderer.surfaceW = g.surfaceW;
    renderer.surfaceH = g.surfaceH;
    renderer.Redraw(store);
    const int rimX = view.ScreenX(100.0) - g.scrollX;
    ASSERT_GT(rimX, 10);
    ASSERT_LT(rimX, g.panelW - 10);
    // The box's right edge is exclusive, and 200 rows from the rightmost point the rim has
    // curved in by another 0.8 pixel.
    int rows = 0;
    for (int y = 0; y < g.panelH; ++y)
        for (int k = -2; k <= 1; ++k)
            if ((canvas.image().pixel(rimX + k, y) & 0xFFFFFF) == 0xFFFFFF) {
                ++rows;
                break;
            }
    EXPECT_GT(rows, g.panelH - 4);
}
