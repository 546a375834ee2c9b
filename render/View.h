// The view: world-to-surface transform, the bounds box and the drawing surface's geometry.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

// Surface pixels: x grows to the right, y downwards. World: y grows upwards.
struct View {
    double scale = 1.0;  // world units per pixel
    int32_t originX = 0, originY = 0;  // surface position of the world origin
    int32_t viewExtentW = 0, viewExtentH = 0;
    double boundsMinX = 0.0, boundsMinY = 0.0, boundsMaxX = 0.0, boundsMaxY = 0.0;

    double WorldX(int32_t X) const;
    double WorldY(int32_t Y) const;
    int32_t ScreenX(double x) const;
    int32_t ScreenY(double y) const;
    // The same positions as ScreenX and ScreenY, unbounded, as doubles: for figures that
    // reach far beyond the surface, which are clipped before they are drawn.
    double SurfaceX(double x) const { return std::trunc(x / scale) + originX; }
    double SurfaceY(double y) const { return originY - std::trunc(y / scale); }

    // Surface positions within this distance of 0 are exact in the integer transform, and
    // so is any sum of two of them. The view commands keep the origin and the whole surface
    // inside it; positions beyond it are drawn only after clipping.
    static constexpr int32_t kReach = 1 << 29;
    static bool InReach(double X) { return X >= -kReach && X <= kReach; }
    // Below this scale neighbouring pixels would no longer give distinct world coordinates
    // at the five decimals they are rounded to.
    static constexpr double kMinScale = 1.0 / 65536;
    // The coarsest scale fit all takes for a drawing far from the origin.
    static constexpr double kMaxScale = 0x1p60;
};

// The geometry of the scroll box around the drawing surface: what the view commands read
// and change besides the transform.
struct SurfaceGeometry {
    int32_t surfaceW = 0, surfaceH = 0;  // size of PaintBox1
    int32_t scrollX = 0, scrollY = 0;    // scroll position of the visible part
    int32_t panelW = 0, panelH = 0;      // size of the visible panel (Panel1)
};

class DrawingStore;

// Fit all: computes the scale and origin from the alive lines, makes the surface
// 1280 x 1024, or the visible panel where that is larger, and scrolls to its middle.
// Returns the status-bar text.
std::string FitAllView(View& view, SurfaceGeometry& surface, const DrawingStore& store);
// Zoom in and out by a factor of two about the visible centre. Zoom in refuses, changing
// nothing, when the new view would leave the exact range of the transform.
bool ZoomInView(View& view, SurfaceGeometry& surface);
void ZoomOutView(View& view, SurfaceGeometry& surface);
// Zoom by `steps` steps of √2 (in for steps > 0) about surface pixel (x, y): the world point
// there stays there, the surface and its scroll position are kept. Scales stay on a ladder
// of √2 steps through the powers of two, so that they meet the buttons' halvings and
// doublings. Refuses, changing nothing, below kMinScale, above kMaxScale, or when the view
// would leave the exact range of the transform.
// (wx, wy) is the world point to keep at (x, y): the caller passes the same point again for
// the following notches at the same pixel, so that rounding never makes it creep.
bool ZoomAtView(View& view, int steps, int32_t x, int32_t y, double wx, double wy);
// Moves the drawing by (dx, dy) pixels on its surface; refuses, changing nothing, when the
// origin would leave the exact range.
bool ShiftView(View& view, int32_t dx, int32_t dy);
// FormResize while the surface is the drawing panel: keeps the world point at the centre
// of the panel in the centre.
void ResizeView(View& view, int32_t newW, int32_t newH);
// FormResize once the surface has a size of its own (after zoom or fit all): the world
// point at the centre of the visible panel stays there, by scrolling where the surface
// allows and by moving the origin for the rest; the surface grows to cover the new panel.
// surface holds the old panel size; newPanelW and newPanelH are the new one.
void ResizeSurfaceView(View& view, SurfaceGeometry& surface, int32_t newPanelW,
                       int32_t newPanelH);
