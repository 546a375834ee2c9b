// Snapping and picking: thresholds, ties, markers, highlights and status texts.
#include <gtest/gtest.h>

#include <random>

#include "edit/Picking.h"
#include "kernel/Mcircle.h"
#include "kernel/Mline.h"
#include "model/DrawingStore.h"
#include "render/Canvas.h"
#include "render/Renderer.h"
#include "render/View.h"

namespace {

struct Scene {
    DrawingStore store;
    Canvas canvas;
    View view;
    Renderer renderer{canvas, view};
    PickContext pick{store, renderer, 4000.0};
    Scene() {
        canvas.Resize(400, 300);
        view.originX = 200;
        view.originY = 150;
        store.renderer = &renderer;
    }
};

}  // namespace

TEST(Picking, SnapCatchesWithinTheSquaredRadiusAndTiesGoToTheLowerSlot) {
    Scene s;
    s.store.AddLine(60, 0, 100, 0, 0);  // end point 60 px right of the origin
    EXPECT_EQ(PickSnapPoint(s.pick, 200, 150),
              "選択点=    0 座標(60.000000000000 0.000000000000) L:0 L:0");
    EXPECT_EQ(s.store.snapIndex, 0);
    s.store.ClearStore();
    s.store.AddLine(64, 0, 100, 0, 0);
    EXPECT_EQ(PickSnapPoint(s.pick, 200, 150), "");
    EXPECT_EQ(s.store.snapIndex, -1);
    // Two lines sharing an end point: the lower slot's point is caught.
    s.store.ClearStore();
    s.store.AddLine(10, 10, 20, 10, 0);
    s.store.AddLine(10, 10, 10, 30, 0);
    PickSnapPoint(s.pick, 210, 140);
    EXPECT_EQ(s.store.snapIndex, 0);
    // At scale 2 the catch radius is still sqrt(4000) pixels.
    s.store.ClearStore();
    s.view.scale = 2;
    s.store.AddLine(120, 0, 300, 0, 0);  // 60 px
    PickSnapPoint(s.pick, 200, 150);
    EXPECT_EQ(s.store.snapIndex, 0);
}

TEST(Picking, MarkerIsXorDrawnAndErasedWithThePixelsRestored) {
    Scene s;
    s.store.AddLine(-50, 0, 50, 0, 0);
    s.store.AddCircle(0, 0, 30, 0, 0, 0);
    const QImage before = s.canvas.image().copy();
    s.canvas.SetPenMode(Canvas::PenMode::Copy);  // the marker is XOR even so
    PickSnapPoint(s.pick, 250, 150);  // the end point at (50, 0)
    ASSERT_EQ(s.store.snapIndex, 1);
    EXPECT_NE(s.canvas.image(), before);
    EXPECT_EQ(s.canvas.Pixel(247, 147), 0xFF0000u);  // red: an end point, corner at -3
    PickSnapPoint(s.pick, 230, 150);  // the quadrant point (30, 0), yellow
    EXPECT_EQ(s.canvas.Pixel(227, 153) & 0xFFFF00u, 0xFFFF00u);
    PickSnapPoint(s.pick, 390, 10);  // nothing near: the marker goes
    EXPECT_EQ(s.store.snapIndex, -1);
    EXPECT_EQ(s.canvas.image(), before);
}

TEST(Picking, ElementPickFollowsDistanceRulesAndTies) {
    Scene s;
    s.store.AddLine(0, 0, 100, 0, 0);  // slot 0
    s.store.AddLine(0, 10, 100, 10, 0);
    // Exactly on line 0: distance 0 never picks it, the other line does.
    PickElement(s.pick, 250, 150);
    EXPECT_EQ(s.store.pickedLine, 1);
    // Between the two, equally near: the lower slot stays.
    EXPECT_EQ(PickElement(s.pick, 250, 145), "選択直線=    0 (0.000000 , 0.000000) - (100.000000, 0.000000) d5.000000");
    // A circle exactly as near as the best line does not replace it; a nearer one does.
    s.store.AddCircle(50, 15, 5, 0, 0, 0);  // 5 from the cursor at (50, 5), as line 0 is
    PickElement(s.pick, 250, 145);
    EXPECT_EQ(s.store.pickedLine, 0);
    EXPECT_EQ(s.store.pickedCircle, -1);
    s.store.AddCircle(50, 9, 4, 0, 0, 0);
    std::string text = PickElement(s.pick, 250, 144);  // cursor (50, 6): 1 from circle 1
    EXPECT_EQ(s.store.pickedCircle, 1);
    EXPECT_EQ(s.store.pickedLine, -1);
    EXPECT_EQ(text, "選択円=    1 中心(50.000000 9.000000) 半径=4.000000 角度(0.000000->0.000000) d1.000000");
    // The same pick again changes nothing and keeps the status.
    EXPECT_EQ(PickElement(s.pick, 250, 144), "");
}

TEST(Picking, NearAnArcsChordTheArcIsPicked) {
    Scene s;
    s.pick.snapDistance = 3;  // 3 world units at scale 1
    s.store.AddCircle(0, 0, 50, 60, 120, 0);  // an arc over the top; chord at y = 43.3
    PickElement(s.pick, 200, 150 - 44);
    EXPECT_EQ(s.store.pickedCircle, 0);
}

TEST(Picking, HighlightIsYellowAndUnhighlightRestoresTheElementsColour) {
    Scene s;
    s.store.SetCurrentColour(1);
    s.store.AddLine(-100, 0, 100, 0, 0);
    EXPECT_EQ(s.canvas.Pixel(250, 150), 0x0000FFu);
    PickElement(s.pick, 250, 140);
    EXPECT_EQ(s.canvas.Pixel(250, 150), 0xFFFF00u);
    UnhighlightPicked(s.store, s.renderer, 2);
    EXPECT_EQ(s.canvas.Pixel(250, 150), 0x0000FFu);
}

// The pick skips elements whose boxes lie out of reach; the result must be that of the
// full scan of every element in slot order.
TEST(Picking, PickedElementIsThatOfTheFullScanOnRandomDrawings) {
    Scene s;
    s.view.scale = 0.5;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> pos(-100, 100), len(-20, 20), rad(0.5, 30);
    for (int i = 0; i < 300; ++i) {
        double x = pos(rng), y = pos(rng);
        s.store.AddLine(x, y, x + len(rng), y + len(rng), 0);
        double a = rad(rng) * 12;
        s.store.AddCircle(pos(rng), pos(rng), rad(rng), a, i % 3 ? a : a + 100, 0);
    }
    for (int trial = 0; trial < 300; ++trial) {
        int px = std::uniform_int_distribution<int>(0, 399)(rng);
        int py = std::uniform_int_distribution<int>(0, 299)(rng);
        for (double sd : {4000.0, 20.0, 1.0}) {
            s.pick.snapDistance = sd;
            PickElement(s.pick, px, py);
            double t = sd * s.view.scale * s.view.scale;
            double wx = s.view.WorldX(px), wy = s.view.WorldY(py);
            int line = -1, circle = -1;
            for (int i = 0; i <= s.store.lineTop; ++i) {
                if (!s.store.line(i).alive) continue;
                double d = PointSegmentDistance(s.store.line(i), wx, wy);
                if (d > 0 && d < t) line = i, t = d;
            }
            for (int i = 0; i <= s.store.circleTop; ++i) {
                if (!s.store.circle(i).alive) continue;
                double d = PointCircleDistance(s.store.circle(i), wx, wy);
                if (d > 0 && d < t) circle = i, t = d, line = -1;
            }
            ASSERT_EQ(s.store.pickedLine, line);
            ASSERT_EQ(s.store.pickedCircle, circle);
        }
    }
}
