// The view transform and the view commands: fit all, zoom in and out, resize.
#include "render/View.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "kernel/Mcalc.h"
#include "model/DrawingStore.h"

namespace {

// trunc toward zero, kept inside a range where surface arithmetic cannot overflow; world
// points that far away are off every surface anyway.
int32_t TruncPixels(double v) {
    constexpr double kLimit = 1 << 30;
    if (!(v > -kLimit)) return -(1 << 30);
    if (v > kLimit) return 1 << 30;
    return int32_t(std::trunc(v));
}

void ClampScroll(SurfaceGeometry& s) {
    s.scrollX = std::clamp(s.scrollX, 0, std::max(0, s.surfaceW - s.panelW));
    s.scrollY = std::clamp(s.scrollY, 0, std::max(0, s.surfaceH - s.panelH));
}

}  // namespace

double View::WorldX(int32_t X) const { return Round5(double(X - originX) * scale); }

// Rounded first, then negated; subtracting from +0.0 keeps a zero positive.
double View::WorldY(int32_t Y) const { return 0.0 - Round5(double(Y - originY) * scale); }

namespace {

// The sum stays an exact integer even where an origin has been pushed to its limit.
int32_t Saturate(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, -(int64_t(1) << 30), int64_t(1) << 30));
}

}  // namespace

int32_t View::ScreenX(double x) const { return Saturate(int64_t(TruncPixels(x / scale)) + originX); }

int32_t View::ScreenY(double y) const { return Saturate(int64_t(originY) - TruncPixels(y / scale)); }

namespace {

// Whether a view keeps its origin and every pixel of its surface within the exact range.
bool ViewInReach(double originX, double originY, int32_t surfaceW, int32_t surfaceH) {
    return std::fabs(originX) + surfaceW <= View::kReach &&
           std::fabs(originY) + surfaceH <= View::kReach;
}

}  // namespace

std::string FitAllView(View& view, SurfaceGeometry& surface, const DrawingStore& store) {
    bool first = true;
    for (int32_t i = 0; i <= store.lineTop; ++i) {
        const LineElement& l = store.line(i);
        if (!l.alive) continue;
        double minX = std::min(l.x1, l.x2), maxX = std::max(l.x1, l.x2);
        double minY = std::min(l.y1, l.y2), maxY = std::max(l.y1, l.y2);
        if (first) {
            view.boundsMinX = minX, view.boundsMinY = minY;
            view.boundsMaxX = maxX, view.boundsMaxY = maxY;
            first = false;
        } else {
            view.boundsMinX = std::min(view.boundsMinX, minX);
            view.boundsMinY = std::min(view.boundsMinY, minY);
            view.boundsMaxX = std::max(view.boundsMaxX, maxX);
            view.boundsMaxY = std::max(view.boundsMaxY, maxY);
        }
    }
    double pw = surface.panelW > 0 ? surface.panelW : 1;
    double ph = surface.panelH > 0 ? surface.panelH : 1;
    double raw = Round5(std::max((view.boundsMaxX - view.boundsMinX) / pw,
                                 (view.boundsMaxY - view.boundsMinY) / ph) *
                        1.2);
    if (raw == 0.0) {
        view.scale = 1.0;
    } else {
        view.scale = 2048.0;
        for (int e = -10; e <= 10; ++e) {
            double s = std::ldexp(1.0, e);
            if (s > raw) {
                view.scale = s;
                break;
            }
        }
    }
    // The surface covers the whole visible panel, so that on a large screen the drawing
    // is centred in what the user sees and no band of the panel is dead.
    const int32_t w = std::max(1280, surface.panelW), h = std::max(1024, surface.panelH);
    surface.surfaceW = w;
    surface.surfaceH = h;
    view.viewExtentW = w;
    view.viewExtentH = h;
    surface.scrollX = (w - surface.panelW) / 2;
    surface.scrollY = (h - surface.panelH) / 2;
    ClampScroll(surface);
    double cx = (view.boundsMinX + view.boundsMaxX) / 2;
    double cy = (view.boundsMinY + view.boundsMaxY) / 2;
    // A small drawing far from the world origin would put the origin beyond the exact
    // range at the chosen scale: the next scale that keeps it in range is taken instead.
    while (!ViewInReach(w / 2 - std::trunc(cx / view.scale), h / 2 + std::trunc(cy / view.scale),
                        w, h) &&
           view.scale < 0x1p60)
        view.scale *= 2;
    view.originX = w / 2 - TruncPixels(cx / view.scale);
    view.originY = h / 2 + TruncPixels(cy / view.scale);
    char text[512];
    std::snprintf(text, sizeof text, "(%lf %lf) (%lf %lf) SC=%lf", view.boundsMinX,
                  view.boundsMinY, view.boundsMaxX, view.boundsMaxY, view.scale);
    return text;
}

namespace {

struct ZoomStart {
    double wx, wy, fx, fy;
};

ZoomStart Remember(const View& view, const SurfaceGeometry& s) {
    ZoomStart z;
    z.wx = view.WorldX(view.viewExtentW / 2);
    z.wy = view.WorldY(view.viewExtentH / 2);
    z.fx = (s.scrollX + s.panelW * 0.5) / (s.surfaceW > 0 ? s.surfaceW : 1);
    z.fy = (s.scrollY + s.panelH * 0.5) / (s.surfaceH > 0 ? s.surfaceH : 1);
    return z;
}

void Resurface(View& view, SurfaceGeometry& s, const ZoomStart& z, int32_t w, int32_t h) {
    s.surfaceW = w;
    s.surfaceH = h;
    view.viewExtentW = w;
    view.viewExtentH = h;
    s.scrollX = TruncPixels(w * z.fx - s.panelW * 0.5);
    s.scrollY = TruncPixels(h * z.fy - s.panelH * 0.5);
    ClampScroll(s);
    view.originX = w / 2 - TruncPixels(z.wx / view.scale);
    view.originY = h / 2 + TruncPixels(z.wy / view.scale);
}

// Zoom in as designed, without the range check.
void ZoomInStep(View& view, SurfaceGeometry& s) {
    ZoomStart z = Remember(view, s);
    view.boundsMinX = view.WorldX(s.scrollX);
    view.boundsMinY = view.WorldY(s.scrollY);
    view.boundsMaxX = view.WorldX(s.scrollX + s.panelW);
    view.boundsMaxY = view.WorldY(s.scrollY + s.panelH);
    view.scale = view.scale * 0.5;
    if (s.surfaceW > 20478) {
        s.scrollX = (s.surfaceW - s.panelW) / 2;
        s.scrollY = (s.surfaceH - s.panelH) / 2;
        ClampScroll(s);
        view.originX =
            view.viewExtentW / 2 - TruncPixels(((view.boundsMinX + view.boundsMaxX) / 2) / view.scale);
        view.originY =
            view.viewExtentH / 2 + TruncPixels(((view.boundsMinY + view.boundsMaxY) / 2) / view.scale);
        return;
    }
    Resurface(view, s, z, std::min(2 * s.surfaceW, 20480), std::min(2 * s.surfaceH, 16384));
}

}  // namespace

bool ZoomInView(View& view, SurfaceGeometry& surface) {
    if (view.scale * 0.5 < View::kMinScale) return false;
    View v = view;
    SurfaceGeometry s = surface;
    ZoomInStep(v, s);
    if (!ViewInReach(v.originX, v.originY, s.surfaceW, s.surfaceH)) return false;
    view = v;
    surface = s;
    return true;
}

bool ZoomAtView(View& view, int steps, int32_t x, int32_t y, double wx, double wy) {
    if (steps == 0 || !(view.scale > 0)) return false;
    // The scale's place on the ladder, in half powers of two.
    const long level = std::lround(2 * std::log2(view.scale)) - steps;
    const double scale = std::ldexp(level % 2 == 0 ? 1.0 : std::sqrt(2.0), int((level - (level % 2 != 0)) / 2));
    if (scale < View::kMinScale || scale > View::kMaxScale) return false;
    const double originX = double(x) - std::trunc(wx / scale);
    const double originY = double(y) + std::trunc(wy / scale);
    if (!ViewInReach(originX, originY, view.viewExtentW, view.viewExtentH)) return false;
    view.scale = scale;
    view.originX = int32_t(originX);
    view.originY = int32_t(originY);
    return true;
}

bool ShiftView(View& view, int32_t dx, int32_t dy) {
    const double originX = double(view.originX) + dx, originY = double(view.originY) + dy;
    if (!ViewInReach(originX, originY, view.viewExtentW, view.viewExtentH)) return false;
    view.originX = int32_t(originX);
    view.originY = int32_t(originY);
    return true;
}

void ZoomOutView(View& view, SurfaceGeometry& s) {
    ZoomStart z = Remember(view, s);
    view.scale = view.scale * 2;
    Resurface(view, s, z, std::max({s.surfaceW / 2, 1280, s.panelW}),
              std::max({s.surfaceH / 2, 1024, s.panelH}));
}

void ResizeView(View& view, int32_t newW, int32_t newH) {
    int32_t oldW = view.viewExtentW, oldH = view.viewExtentH;
    view.viewExtentW = newW;
    view.viewExtentH = newH;
    view.originX += newW / 2 - oldW / 2;
    view.originY += newH / 2 - oldH / 2;
}

void ResizeSurfaceView(View& view, SurfaceGeometry& s, int32_t newPanelW, int32_t newPanelH) {
    const int64_t centreX = int64_t(s.scrollX) + s.panelW / 2;
    const int64_t centreY = int64_t(s.scrollY) + s.panelH / 2;
    s.surfaceW = std::max(s.surfaceW, newPanelW);
    s.surfaceH = std::max(s.surfaceH, newPanelH);
    view.viewExtentW = s.surfaceW;
    view.viewExtentH = s.surfaceH;
    s.panelW = newPanelW;
    s.panelH = newPanelH;
    s.scrollX = int32_t(std::clamp<int64_t>(centreX - newPanelW / 2, 0, INT32_MAX));
    s.scrollY = int32_t(std::clamp<int64_t>(centreY - newPanelH / 2, 0, INT32_MAX));
    ClampScroll(s);
    // What the scroll could not take moves the drawing on the surface instead.
    view.originX = Saturate(view.originX + (int64_t(s.scrollX) + newPanelW / 2 - centreX));
    view.originY = Saturate(view.originY + (int64_t(s.scrollY) + newPanelH / 2 - centreY));
}
