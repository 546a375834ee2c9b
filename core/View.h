// The view: world-to-surface transform, the bounds box and the drawing surface's geometry.
#pragma once

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
// 1280 x 1024 and scrolls to its middle. Returns the status-bar text.
std::string FitAllView(View& view, SurfaceGeometry& surface, const DrawingStore& store);
// Zoom in and out by a factor of two about the visible centre.
void ZoomInView(View& view, SurfaceGeometry& surface);
void ZoomOutView(View& view, SurfaceGeometry& surface);
// FormResize: keeps the world point at the centre of the drawing panel in the centre.
void ResizeView(View& view, int32_t newW, int32_t newH);
