// The view commands at their limits: deep zoom, panels larger than the start surface, and
// resizing a surface of its own.
#include <gtest/gtest.h>

#include <cmath>

#include "model/DrawingStore.h"
#include "render/View.h"

namespace {

// A view after fit all on a small square drawing around (c, c), panel 600 x 400.
struct Fitted {
    DrawingStore store;
    View view;
    SurfaceGeometry g{600, 400, 0, 0, 600, 400};
    explicit Fitted(double c) {
        store.AddLine(c - 50, c - 50, c + 50, c + 50, 0);
        view.viewExtentW = 600;
        view.viewExtentH = 400;
        FitAllView(view, g, store);
    }
    double CentreX() const { return view.WorldX(g.scrollX + g.panelW / 2); }
    double CentreY() const { return view.WorldY(g.scrollY + g.panelH / 2); }
};

}  // namespace

TEST(ViewReach, ZoomInStopsWhileTheTransformIsExactAndKeepsTheDrawingInView) {
    for (double c : {0.0, 5e3, 1e6}) {
        SCOPED_TRACE(c);
        Fitted f(c);
        int zooms = 0;
        while (zooms < 60 && ZoomInView(f.view, f.g)) {
            ++zooms;
            // The visible centre stays on the drawing's centre, up to the rounding of the
            // first zooms (a pixel there is worth thousands of pixels at the last one).
            EXPECT_NEAR(f.CentreX(), c, 0.01);
            EXPECT_NEAR(f.CentreY(), c, 0.01);
            ASSERT_TRUE(View::InReach(f.view.originX));
            ASSERT_TRUE(View::InReach(f.view.originY));
        }
        EXPECT_GT(zooms, 4);
        EXPECT_LT(zooms, 60);
        // A refused zoom changes nothing.
        const View before = f.view;
        const SurfaceGeometry g = f.g;
        EXPECT_FALSE(ZoomInView(f.view, f.g));
        EXPECT_EQ(f.view.scale, before.scale);
        EXPECT_EQ(f.view.originX, before.originX);
        EXPECT_EQ(f.g.scrollX, g.scrollX);
        EXPECT_EQ(f.view.boundsMinX, before.boundsMinX);
        // At the deepest zoom neighbouring pixels are still distinct world points, which
        // map back to their pixels, and the drawing's centre is on the visible panel.
        const int mid = f.g.scrollX + f.g.panelW / 2;
        EXPECT_NE(f.view.WorldX(mid), f.view.WorldX(mid + 1));
        EXPECT_NEAR(f.view.ScreenX(f.view.WorldX(mid)), mid, 1);
        EXPECT_NEAR(f.view.ScreenX(c), mid, f.g.panelW / 2);
        EXPECT_NEAR(f.view.ScreenY(c), f.g.scrollY + f.g.panelH / 2, f.g.panelH / 2);
        // A point beyond the range saturates instead of overflowing.
        EXPECT_LE(std::abs(int64_t(f.view.ScreenX(1e15))), int64_t(1) << 30);
    }
}

TEST(ViewReach, FitAllNeverChoosesAScaleThatPutsTheOriginOutOfReach) {
    // A tiny drawing far from the world origin: the designed scale would put the origin
    // a trillion pixels away.
    DrawingStore store;
    store.AddLine(1e9, 1e9, 1e9 + 1, 1e9 + 1, 0);
    View v;
    SurfaceGeometry g{600, 400, 0, 0, 600, 400};
    FitAllView(v, g, store);
    EXPECT_TRUE(View::InReach(v.originX));
    EXPECT_TRUE(View::InReach(v.originY));
    EXPECT_NEAR(v.ScreenX(1e9 + 0.5), 640, 1);
    EXPECT_NEAR(v.ScreenY(1e9 + 0.5), 512, 1);
}

TEST(ViewReach, FitAllAndZoomOutCoverAPanelLargerThanTheStartSurface) {
    // A maximised window on a 1920 x 1080 screen, and a drawing much wider than high.
    DrawingStore store;
    store.AddLine(-1000, 0, 1000, 50, 0);
    View v;
    SurfaceGeometry g{1280, 1024, 0, 0, 1850, 900};
    FitAllView(v, g, store);
    EXPECT_EQ(g.surfaceW, 1850);
    EXPECT_EQ(g.surfaceH, 1024);
    EXPECT_EQ(v.viewExtentW, 1850);
    EXPECT_EQ(g.scrollX, 0);
    EXPECT_EQ(g.scrollY, (1024 - 900) / 2);
    // Both ends are on the visible part of the surface, the drawing centred in it.
    for (double x : {-1000.0, 1000.0}) {
        EXPECT_GE(v.ScreenX(x), g.scrollX);
        EXPECT_LT(v.ScreenX(x), g.scrollX + g.panelW);
    }
    EXPECT_NEAR(v.ScreenX(0) - g.scrollX, g.panelW / 2, 1);
    EXPECT_NEAR(v.ScreenY(25) - g.scrollY, g.panelH / 2, 1);

    ZoomOutView(v, g);
    EXPECT_GE(g.surfaceW, g.panelW);
    EXPECT_GE(g.surfaceH, g.panelH);
    EXPECT_NEAR(v.ScreenX(0) - g.scrollX, g.panelW / 2, 1);

    // A panel smaller than the start surface keeps the designed figures.
    SurfaceGeometry small{1280, 1024, 0, 0, 600, 400};
    View w;
    FitAllView(w, small, store);
    EXPECT_EQ(small.surfaceW, 1280);
    EXPECT_EQ(small.surfaceH, 1024);
    EXPECT_EQ(small.scrollX, 340);
    EXPECT_EQ(w.originX, 640);
}

TEST(ViewReach, ResizingASurfaceOfItsOwnKeepsTheVisibleCentre) {
    DrawingStore store;
    store.AddLine(0, 0, 300, 200, 0);
    View v;
    SurfaceGeometry g{1280, 1024, 0, 0, 600, 400};
    FitAllView(v, g, store);
    ASSERT_TRUE(ZoomInView(v, g));
    const double scale = v.scale;
    auto centre = [&] {
        return std::pair(v.WorldX(g.scrollX + g.panelW / 2), v.WorldY(g.scrollY + g.panelH / 2));
    };
    const auto [cx, cy] = centre();
    // Maximise: the panel grows, within the surface and then beyond it.
    for (auto [w, h] : {std::pair(1000, 700), std::pair(1900, 1000), std::pair(3000, 2500),
                        std::pair(640, 480)}) {
        SCOPED_TRACE(w);
        ResizeSurfaceView(v, g, w, h);
        EXPECT_EQ(v.scale, scale);
        EXPECT_GE(g.surfaceW, w);
        EXPECT_GE(g.surfaceH, h);
        EXPECT_GE(g.scrollX, 0);
        EXPECT_LE(g.scrollX, g.surfaceW - w);
        const auto [x, y] = centre();
        EXPECT_NEAR(x, cx, scale);
        EXPECT_NEAR(y, cy, scale);
    }
}
