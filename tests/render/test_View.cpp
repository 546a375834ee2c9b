// The view transform and the figures of fit all, zoom in, zoom out and resize.
#include <gtest/gtest.h>

#include <cmath>

#include "model/DrawingStore.h"
#include "render/View.h"

TEST(View, TransformMapsWorldAndPixelsBothWays) {
    View v;
    v.originX = 300;
    v.originY = 230;
    EXPECT_EQ(v.ScreenX(10), 310);
    EXPECT_EQ(v.ScreenY(10), 220);
    EXPECT_EQ(v.WorldX(0), -300.0);
    EXPECT_EQ(v.WorldY(0), 230.0);
    // A zero is a positive zero.
    EXPECT_FALSE(std::signbit(v.WorldY(230)));
    EXPECT_FALSE(std::signbit(v.WorldX(300)));
    v.scale = 2.0;
    EXPECT_EQ(v.ScreenX(3), 301);  // trunc toward zero on both sides
    EXPECT_EQ(v.ScreenX(-3), 299);
    EXPECT_EQ(v.ScreenY(-3), 231);
    v.scale = 0.3;
    EXPECT_EQ(v.WorldX(301), 0.3);  // rounded to five decimals
    EXPECT_EQ(v.WorldY(233), -0.9);
    // Far-away points stay within the surface arithmetic instead of overflowing.
    EXPECT_LT(v.ScreenX(1e300), 2000000000);
}

TEST(View, FitAllSpanningSixHundredByHundredInSixHundredByFourHundredGivesScaleTwo) {
    DrawingStore store;
    store.AddLine(-300, 0, 300, 100, 0);
    store.AddCircle(5000, 5000, 10, 0, 0, 0);  // circles do not count
    View v;
    SurfaceGeometry s{600, 400, 0, 0, 600, 400};
    std::string status = FitAllView(v, s, store);
    EXPECT_EQ(v.scale, 2.0);
    EXPECT_EQ(s.surfaceW, 1280);
    EXPECT_EQ(s.surfaceH, 1024);
    EXPECT_EQ(s.scrollX, 340);
    EXPECT_EQ(s.scrollY, 312);
    EXPECT_EQ(v.viewExtentW, 1280);
    EXPECT_EQ(v.originX, 640);
    EXPECT_EQ(v.originY, 512 + 25);
    EXPECT_EQ(status,
              "(-300.000000 0.000000) (300.000000 100.000000) SC=2.000000");
}

TEST(View, FitAllWithoutLinesKeepsTheBoxAndScaleOne) {
    DrawingStore store;
    store.AddCircle(100, 100, 10, 0, 0, 0);
    View v;
    v.scale = 8;
    SurfaceGeometry s{600, 400, 0, 0, 600, 400};
    FitAllView(v, s, store);
    EXPECT_EQ(v.scale, 1.0);
    EXPECT_EQ(v.originX, 640);
    EXPECT_EQ(v.originY, 512);
    EXPECT_EQ(v.boundsMaxX, 0.0);
    // A tiny drawing takes the smallest scale; a huge one the largest.
    store.AddLine(0, 0, 0.01, 0, 0);
    FitAllView(v, s, store);
    EXPECT_EQ(v.scale, std::ldexp(1.0, -10));
    store.AddLine(0, 0, 1e7, 0, 0);
    FitAllView(v, s, store);
    EXPECT_EQ(v.scale, 2048.0);
}

TEST(View, ZoomInDoublesTheSurfaceUpToItsLimitThenOnlyHalvesTheScale) {
    View v;
    SurfaceGeometry s{1280, 1024, 340, 312, 600, 400};
    v.viewExtentW = 1280;
    v.viewExtentH = 1024;
    v.originX = 640;
    v.originY = 512;
    const double cx = v.WorldX(640), cy = v.WorldY(512);
    for (int i = 0; i < 4; ++i) ZoomInView(v, s);
    EXPECT_EQ(s.surfaceW, 20480);
    EXPECT_EQ(s.surfaceH, 16384);
    EXPECT_EQ(v.scale, 1.0 / 16);
    // The world point under the visible centre stays there.
    int visibleCx = s.scrollX + s.panelW / 2, visibleCy = s.scrollY + s.panelH / 2;
    EXPECT_NEAR(v.WorldX(visibleCx), cx, 1.0);
    EXPECT_NEAR(v.WorldY(visibleCy), cy, 1.0);
    ZoomInView(v, s);
    EXPECT_EQ(s.surfaceW, 20480);
    EXPECT_EQ(v.scale, 1.0 / 32);
    EXPECT_EQ(s.scrollX, (20480 - 600) / 2);
    EXPECT_EQ(s.scrollY, (16384 - 400) / 2);
    EXPECT_NEAR(v.WorldX(s.scrollX + 300), cx, 1.0);
}

TEST(View, ZoomOutNeverShrinksTheSurfaceBelowItsStartSize) {
    View v;
    SurfaceGeometry s{1280, 1024, 340, 312, 600, 400};
    v.viewExtentW = 1280;
    v.viewExtentH = 1024;
    v.originX = 640;
    v.originY = 512;
    v.boundsMaxX = 77;
    ZoomInView(v, s);
    EXPECT_EQ(s.surfaceW, 2560);
    EXPECT_EQ(s.scrollX, int(std::trunc(2560 * (640.0 / 1280) - 300)));
    ZoomOutView(v, s);
    ZoomOutView(v, s);
    EXPECT_EQ(s.surfaceW, 1280);
    EXPECT_EQ(s.surfaceH, 1024);
    EXPECT_EQ(v.scale, 2.0);
    EXPECT_EQ(v.originX, 640);
    EXPECT_EQ(v.originY, 512);
}

TEST(View, ResizeKeepsTheCentreWorldPointAtTheCentre) {
    View v;
    v.viewExtentW = 601;
    v.viewExtentH = 401;
    v.originX = 300;
    v.originY = 200;
    v.scale = 3;
    ResizeView(v, 1001, 700);
    EXPECT_EQ(v.originX, 300 + 500 - 300);
    EXPECT_EQ(v.originY, 200 + 350 - 200);
    EXPECT_EQ(v.scale, 3);
    EXPECT_EQ(v.viewExtentW, 1001);
}
